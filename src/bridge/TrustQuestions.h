// TrustQuestions: the one question a page's first connection asks the user:
// whether to trust its origin. Asked through a dialog host on a thread of its
// own, one question at a time, so that the service's threads go on serving
// every other connection while the user thinks. Connections of an origin
// whose question is open wait for that one answer; an origin the user
// refused is not asked again while the service runs (the refusal is not kept
// beyond it); a yes puts the origin on the trusted list, so it is not asked
// again at all.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/PlatformDialogs.h"

namespace pennaform::bridge {

class TrustQuestions {
public:
    // Answer: told whether the origin is now trusted, on the asking thread
    // (or, for an origin already refused, on the caller's).
    using Answer = std::function<void(bool trusted)>;
    // makeHost: the host the questions are asked on, made at the first
    // question on the asking thread (null: nobody can be asked). trust: puts
    // an origin the user accepted on the trusted list; false when it could
    // not, and the connection is then served as untrusted.
    TrustQuestions(std::function<std::unique_ptr<platform::PlatformDialogs>()> makeHost,
                   std::function<bool(const std::string& origin)> trust);
    // Lets the question being asked finish, then drops the waiting answers.
    ~TrustQuestions();
    TrustQuestions(const TrustQuestions&) = delete;
    TrustQuestions& operator=(const TrustQuestions&) = delete;

    // ask: `answer` once the user has answered for `origin` (normalized);
    // at once with false for an origin refused before.
    void ask(const std::string& origin, Answer answer);
    // stop: as the destructor; asking after it answers false at once.
    void stop();

private:
    void askInTurn();

    std::function<std::unique_ptr<platform::PlatformDialogs>()> makeHost_;
    std::function<bool(const std::string&)> trust_;
    std::mutex mutex_;
    std::condition_variable asked_;
    std::deque<std::string> queue_;
    std::map<std::string, std::vector<Answer>> waiting_;
    std::set<std::string> refused_;
    bool stopping_ = false;
    std::thread asker_;
};

// trustQuestionText: the question's caption and text for `origin` (in the
// process code page).
std::string trustQuestionCaption();
std::string trustQuestionText(const std::string& origin);

}  // namespace pennaform::bridge
