// DemoRun: the steps of `pennaform demo`: each runs one method through the
// dispatcher, prints a numbered line and counts what did not go as expected.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/CommandLine.h"
#include "engine/Engine.h"
#include "interface/Dispatcher.h"

namespace pennaform::cli {

class DemoRun {
public:
    DemoRun(Engine& engine, std::ostream& out) : engine_(engine), out_(out) {}

    // call: runs one method by name or decorated name, prints a progress line
    // and checks the result text and error code against what the step expects.
    void call(const std::string& what, std::string_view name, std::vector<Argument> args,
              const std::string& expected, std::int32_t expectedCode) {
        const MethodSpec* method = findCallable(name);
        Result result = Dispatcher::call(engine_, *method, args);
        std::string text = resultText(result);
        bool ok = text == expected && engine_.GetErrorCode() == expectedCode;
        failures_ += ok ? 0 : 1;
        out_ << "[" << ++step_ << "] " << what << ": " << name << " -> " << text
             << (ok ? "" : "   (unexpected; wanted " + expected + ")") << '\n';
    }
    // show: runs one method whose result depends on the machine, prints it
    // (each line of it indented) and checks only that the code is one of
    // `acceptedCodes`.
    void show(const std::string& what, std::string_view name, std::vector<Argument> args,
              std::initializer_list<std::int32_t> acceptedCodes) {
        const MethodSpec* method = findCallable(name);
        Result result = Dispatcher::call(engine_, *method, args);
        std::int32_t code = engine_.GetErrorCode();
        bool ok =
            std::find(acceptedCodes.begin(), acceptedCodes.end(), code) != acceptedCodes.end();
        failures_ += ok ? 0 : 1;
        std::string text = resultText(result);
        for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 5) {
            text.replace(at, 1, "\n    ");
        }
        out_ << "[" << ++step_ << "] " << what << ": " << name << " -> " << text
             << (code == 0 ? "" : "   (code " + std::to_string(code) + ")")
             << (ok ? "" : "   (unexpected code)") << '\n';
    }
    void note(const std::string& text) { out_ << "[" << ++step_ << "] " << text << '\n'; }
    // check: a step the demo carries out itself; `ok` says whether it gave
    // what it should.
    void check(const std::string& text, bool ok) {
        failures_ += ok ? 0 : 1;
        out_ << "[" << ++step_ << "] " << text << (ok ? "" : "   (unexpected)") << '\n';
    }
    int failures() const { return failures_; }

private:
    Engine& engine_;
    std::ostream& out_;
    int step_ = 0;
    int failures_ = 0;
};

}  // namespace pennaform::cli
