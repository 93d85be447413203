#include "bridge/TrustQuestions.h"

#include <utility>

#include "ui/dialogs/DialogTexts.h"

namespace pennaform::bridge {

std::string trustQuestionCaption() {
    return ui::uiText("信任網站");
}

std::string trustQuestionText(const std::string& origin) {
    // An origin is ASCII: it needs no conversion between the texts around it.
    return ui::uiText("是否允許網站 ") + origin + ui::uiText(" 使用本機的憑證與簽章功能？");
}

TrustQuestions::TrustQuestions(std::function<std::unique_ptr<platform::PlatformDialogs>()> makeHost,
                               std::function<bool(const std::string& origin)> trust)
    : makeHost_(std::move(makeHost)), trust_(std::move(trust)) {}

TrustQuestions::~TrustQuestions() {
    stop();
}

void TrustQuestions::stop() {
    {
        std::lock_guard<std::mutex> hold(mutex_);
        stopping_ = true;
    }
    asked_.notify_all();
    if (asker_.joinable()) asker_.join();
    std::lock_guard<std::mutex> hold(mutex_);
    waiting_.clear();
    queue_.clear();
}

void TrustQuestions::ask(const std::string& origin, Answer answer) {
    std::unique_lock<std::mutex> hold(mutex_);
    if (stopping_ || refused_.contains(origin)) {
        hold.unlock();
        answer(false);
        return;
    }
    std::vector<Answer>& answers = waiting_[origin];
    answers.push_back(std::move(answer));
    if (answers.size() > 1) return;  // its question is already open
    queue_.push_back(origin);
    if (!asker_.joinable()) asker_ = std::thread([this] { askInTurn(); });
    asked_.notify_one();
}

void TrustQuestions::askInTurn() {
    std::unique_ptr<platform::PlatformDialogs> host = makeHost_();
    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
        asked_.wait(hold, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) return;
        const std::string origin = std::move(queue_.front());
        queue_.pop_front();
        hold.unlock();
        platform::Status said = platform::fail(platform::errors::kErrorNotSupported);
        if (host) said = host->askYesNo(trustQuestionCaption(), trustQuestionText(origin));
        const bool trusted = said.ok() && trust_(origin);
        hold.lock();
        // A host that could not ask leaves the origin to be asked next time.
        if (said.error() == platform::errors::kErrorCancelled) {
            refused_.insert(origin);
        }
        std::vector<Answer> answers = std::move(waiting_[origin]);
        waiting_.erase(origin);
        hold.unlock();
        for (Answer& answer : answers) answer(trusted);
        hold.lock();
    }
}

}  // namespace pennaform::bridge
