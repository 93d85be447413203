// Parsing of the command's words: global options, method names and argument
// values.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "interface/CallSyntax.h"
#include "interface/MethodTable.h"

namespace pennaform::cli {

// UsageError: a mistake in the command's words; reported in one line with
// exit status 2.
struct UsageError {
    std::string message;
};

struct CommandLine {
    EngineConfig engineConfig;
    // The dialog host and, for the scripted one, its files.
    std::string dialogs = "headless";
    std::string answersPath;
    std::string transcriptPath;
    std::vector<std::string> words;  // the subcommand or method, then its arguments
};

// parseCommandLine: the global options, then the remaining words.
std::optional<UsageError> parseCommandLine(int argc, char** argv, CommandLine& out);

// The method names and the integer syntax that every door shares.
using pennaform::findCallable;
using pennaform::parseLong;

// toArguments: the words as the method's arguments (UTF-8 strings, integers).
// A string argument given as "-" is the next line of `input` instead, so that
// a password or key need not stand in the process table; a word made of
// dashes only stands for itself less one dash ("--" is the text "-").
std::optional<UsageError> toArguments(const MethodSpec& method,
                                      const std::vector<std::string>& words, std::istream& input,
                                      std::vector<Argument>& out);

// resultText: a result as the command prints it (UTF-8, or decimal).
std::string resultText(const Result& result);

}  // namespace pennaform::cli
