// The command's own documentation: usage, the operations by area, and each
// operation's arguments, all read from the method table so that they cannot
// drift from what the command accepts.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pennaform::cli {

// OperationArea: a heading and the interface methods listed under it.
struct OperationArea {
    std::string_view title;
    std::span<const std::string_view> methods;
};

// operationAreas: every interface method, each under exactly one area.
std::span<const OperationArea> operationAreas();

// usageText: the command's synopsis, its options and the operations by area.
std::string usageText();

// methodHelp: one method's arguments with their names and types, its result,
// its export name and whether an untrusted caller is refused; nullopt for a
// name the command does not know.
std::optional<std::string> methodHelp(std::string_view name);

// versionText: the command's name and version, one line.
std::string versionText();

}  // namespace pennaform::cli
