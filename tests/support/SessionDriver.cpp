#include "support/SessionDriver.h"

#include <gtest/gtest.h>

namespace pennaform::test {

using nlohmann::json;

std::unique_ptr<SessionDriver> SessionDriver::start(
    const std::vector<std::string>& options,
    const std::map<std::string, std::string>& environment) {
    std::vector<std::string> argv{commandPath()};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back("session");
    std::unique_ptr<RunningProcess> process = RunningProcess::start(argv, environment);
    if (!process) return nullptr;
    return std::unique_ptr<SessionDriver>(new SessionDriver(std::move(process)));
}

SessionDriver::~SessionDriver() {
    close();
}

bool SessionDriver::send(const std::string& jsonLine) {
    return !exitStatus_ && process_->writeAll(jsonLine + "\n");
}

std::optional<std::string> SessionDriver::readAnswer(std::chrono::milliseconds timeout) {
    if (exitStatus_) return std::nullopt;
    return process_->readLine(timeout);
}

std::optional<SessionAnswer> SessionDriver::callWith(const std::string& method, const json& args) {
    json request{{"method", method}, {"args", args}};
    if (!send(request.dump())) {
        ADD_FAILURE() << "the session no longer reads: " << request.dump();
        return std::nullopt;
    }
    std::optional<std::string> line = readAnswer();
    if (!line) {
        ADD_FAILURE() << "no answer to " << request.dump();
        return std::nullopt;
    }
    json answer = json::parse(*line, nullptr, /*allow_exceptions=*/false);
    if (!answer.is_object() || !answer.contains("result") || !answer.contains("errorCode") ||
        !answer.contains("capiError")) {
        ADD_FAILURE() << "not a call's answer to " << request.dump() << ": " << *line;
        return std::nullopt;
    }
    return SessionAnswer{answer["result"], answer["errorCode"].get<std::int32_t>(),
                         answer["capiError"].get<std::uint32_t>()};
}

int SessionDriver::close() {
    if (!exitStatus_) {
        process_->closeInput();
        exitStatus_ = process_->waitFor(kAnswerTimeout);
    }
    return *exitStatus_;
}

}  // namespace pennaform::test
