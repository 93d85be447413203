// SessionDriver: a running `pennaform [options] session` that a test talks to
// one call at a time, so that two sessions (two processes) can be interleaved
// on one home. Every read has a time limit, so a session that stops answering
// fails the test instead of hanging it.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "support/Process.h"

namespace pennaform::test {

// SessionAnswer: one answer line of the session, read into its fields.
struct SessionAnswer {
    nlohmann::json result;  // a number, a string or null
    std::int32_t errorCode = 0;
    std::uint32_t capiError = 0;
};

class SessionDriver {
public:
    static constexpr std::chrono::milliseconds kAnswerTimeout{20000};

    // start: runs the command under test with `options` before the word
    // "session" (e.g. {"--home", folder}) and the environment changed as
    // runProcess does; null when it cannot be started.
    static std::unique_ptr<SessionDriver> start(
        const std::vector<std::string>& options = {},
        const std::map<std::string, std::string>& environment = {});
    // The destructor closes the session as close() does.
    ~SessionDriver();

    // send: writes one request line (a line feed is added); false when the
    // session no longer reads.
    bool send(const std::string& jsonLine);
    // readAnswer: the next answer line, without its line feed; nullopt when
    // the session ended or gave no line within `timeout`.
    std::optional<std::string> readAnswer(std::chrono::milliseconds timeout = kAnswerTimeout);

    // call: sends {"method": method, "args": [args...]} and reads its answer.
    // nullopt, with a test failure saying why, when no answer came or the
    // answer was not a call's answer (a usage error, a line not JSON).
    template <typename... A>
    std::optional<SessionAnswer> call(const std::string& method, const A&... args) {
        return callWith(method, nlohmann::json::array({nlohmann::json(args)...}));
    }
    std::optional<SessionAnswer> callWith(const std::string& method, const nlohmann::json& args);

    // close: ends the session's input and waits for it to exit (killing it
    // when it has not within the time limit); its exit status. Closing again
    // answers the same status.
    int close();

private:
    explicit SessionDriver(std::unique_ptr<RunningProcess> process)
        : process_(std::move(process)) {}

    std::unique_ptr<RunningProcess> process_;
    std::optional<int> exitStatus_;
};

}  // namespace pennaform::test
