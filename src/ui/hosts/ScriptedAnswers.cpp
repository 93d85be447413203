#include "ui/hosts/ScriptedAnswers.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "platform/CodePage.h"

namespace pennaform::ui {
namespace {

using nlohmann::json;

// Control and template ids are 16-bit on the platform these dialogs come from.
constexpr std::int64_t kLargestId = 0xFFFF;

// The component's dialogs have the template ids 201 to 207; an entry for any
// other id could never be taken.
constexpr int kFirstTemplateId = 201;
constexpr int kLastTemplateId = 207;

std::optional<int> idOf(const json& value) {
    if (!value.is_number_integer()) return std::nullopt;
    std::int64_t id = value.get<std::int64_t>();
    if (id < 1 || id > kLargestId) return std::nullopt;
    return int(id);
}

bool hasOnlyKeys(const json& object, std::initializer_list<std::string_view> keys) {
    for (const auto& [key, value] : object.items()) {
        if (std::find(keys.begin(), keys.end(), key) == keys.end()) return false;
    }
    return true;
}

std::optional<ScriptAction> actionOf(const json& item) {
    if (!item.is_object() || item.size() == 0) return std::nullopt;
    if (item.contains("set")) {
        auto id = idOf(item["set"]);
        if (!id || !hasOnlyKeys(item, {"set", "text"}) || !item.contains("text") ||
            !item["text"].is_string()) {
            return std::nullopt;
        }
        return SetText{*id, CodePage::process().fromUtf8(item["text"].get<std::string>())};
    }
    if (item.size() != 1) return std::nullopt;
    if (item.contains("press")) {
        auto id = idOf(item["press"]);
        if (!id) return std::nullopt;
        return PressButton{*id};
    }
    if (item.contains("select")) {
        const json& row = item["select"];
        if (row.is_null()) return SelectRow{std::nullopt};
        if (!row.is_number_unsigned()) return std::nullopt;
        return SelectRow{std::size_t(row.get<std::uint64_t>())};
    }
    if (item.contains("close") && item["close"] == true) return CloseWindow{};
    return std::nullopt;
}

std::optional<ScriptAnswer> dialogAnswerOf(const json& entry, int templateId,
                                           std::string& outProblem) {
    ScriptAnswer answer;
    answer.templateId = templateId;
    if (!hasOnlyKeys(entry, {"dialog", "actions"})) {
        outProblem = "a dialog entry takes only \"dialog\" and \"actions\"";
        return std::nullopt;
    }
    if (!entry.contains("actions")) return answer;
    const json& actions = entry["actions"];
    if (!actions.is_array()) {
        outProblem = "\"actions\" must be an array";
        return std::nullopt;
    }
    for (const json& item : actions) {
        std::optional<ScriptAction> action = actionOf(item);
        if (!action) {
            outProblem =
                "an action must be {\"set\":ID,\"text\":TEXT}, {\"press\":ID}, "
                "{\"select\":ROW or null} or {\"close\":true}";
            return std::nullopt;
        }
        answer.actions.push_back(std::move(*action));
    }
    return answer;
}

std::optional<ScriptAnswer> chooserAnswerOf(const json& entry, AnswerKind kind,
                                            std::string& outProblem) {
    ScriptAnswer answer;
    answer.kind = kind;
    bool byPath = entry.contains("path") && entry["path"].is_string();
    bool cancelled = entry.contains("cancel") && entry["cancel"] == true;
    if (entry.size() != 2 || byPath == cancelled) {
        outProblem = "a chooser entry takes either \"path\":TEXT or \"cancel\":true";
        return std::nullopt;
    }
    if (byPath) answer.path = CodePage::process().fromUtf8(entry["path"].get<std::string>());
    return answer;
}

// booleanAnswerOf: a keyUse entry ({"allow":BOOL}) or a yesNo one ({"yes":BOOL}).
std::optional<ScriptAnswer> booleanAnswerOf(const json& entry, AnswerKind kind,
                                            std::string& outProblem) {
    const char* key = kind == AnswerKind::kKeyUse ? "allow" : "yes";
    if (entry.size() != 2 || !entry.contains(key) || !entry[key].is_boolean()) {
        outProblem = kind == AnswerKind::kKeyUse ? "a keyUse entry takes \"allow\":true or false"
                                                 : "a yesNo entry takes \"yes\":true or false";
        return std::nullopt;
    }
    ScriptAnswer answer;
    answer.kind = kind;
    answer.allow = entry[key].get<bool>();
    return answer;
}

std::optional<ScriptAnswer> answerOf(const json& entry, std::string& outProblem) {
    if (!entry.is_object() || !entry.contains("dialog")) {
        outProblem = "each entry is an object naming its \"dialog\"";
        return std::nullopt;
    }
    const json& dialog = entry["dialog"];
    if (auto templateId = idOf(dialog)) {
        if (*templateId < kFirstTemplateId || *templateId > kLastTemplateId) {
            outProblem = "a dialog's template id is one of 201 to 207";
            return std::nullopt;
        }
        return dialogAnswerOf(entry, *templateId, outProblem);
    }
    if (dialog == "fileChooser")
        return chooserAnswerOf(entry, AnswerKind::kFileChooser, outProblem);
    if (dialog == "folderChooser") {
        return chooserAnswerOf(entry, AnswerKind::kFolderChooser, outProblem);
    }
    if (dialog == "keyUse") return booleanAnswerOf(entry, AnswerKind::kKeyUse, outProblem);
    if (dialog == "yesNo") return booleanAnswerOf(entry, AnswerKind::kYesNo, outProblem);
    outProblem =
        "\"dialog\" must be a template id, \"fileChooser\", \"folderChooser\", \"keyUse\" or "
        "\"yesNo\"";
    return std::nullopt;
}

}  // namespace

std::optional<ScriptedAnswers> ScriptedAnswers::parse(std::string_view text,
                                                      std::string& outProblem) {
    json document = json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
    if (document.is_discarded() || !document.is_array()) {
        outProblem = "the answers must be one JSON array";
        return std::nullopt;
    }
    ScriptedAnswers answers;
    for (std::size_t i = 0; i < document.size(); ++i) {
        std::optional<ScriptAnswer> answer = answerOf(document[i], outProblem);
        if (!answer) {
            outProblem = "answer " + std::to_string(i) + ": " + outProblem;
            return std::nullopt;
        }
        answers.answers_.push_back(std::move(*answer));
    }
    return answers;
}

std::optional<ScriptAnswer> ScriptedAnswers::take(AnswerKind kind, int templateId) {
    if (answers_.empty()) return std::nullopt;
    const ScriptAnswer& next = answers_.front();
    if (next.kind != kind || (kind == AnswerKind::kDialog && next.templateId != templateId)) {
        return std::nullopt;
    }
    ScriptAnswer taken = std::move(answers_.front());
    answers_.pop_front();
    return taken;
}

}  // namespace pennaform::ui
