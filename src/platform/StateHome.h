// StateHome: where the component keeps its durable state: the per-user
// folder (database with the user's hive, stores and key containers) and the
// machine folder (the machine hive, read only).
#pragma once

#include <optional>
#include <string>

#include "platform/Outcome.h"

namespace pennaform::platform {

// StateHome: the two folders, resolved once from the command line and the
// environment. Constructing one touches no file.
class StateHome {
public:
    // StateHome: the user folder is the first non-empty of `homeOverride`
    // (the command's --home), $PENNAFORM_HOME, $XDG_DATA_HOME/pennaform (only
    // an absolute XDG_DATA_HOME counts), and $HOME/.local/share/pennaform
    // (the password database's home folder when HOME is unset). The machine
    // folder is $PENNAFORM_MACHINE_HOME if non-empty, else /etc/pennaform.
    // Either may come out empty when nothing at all names it.
    explicit StateHome(std::optional<std::string> homeOverride = std::nullopt);

    // userFolder, machineFolder: the resolved folders, as given (not made
    // absolute, not checked).
    const std::string& userFolder() const noexcept { return userFolder_; }
    const std::string& machineFolder() const noexcept { return machineFolder_; }
    // databasePath: the user's database file, <userFolder>/pennaform.db; empty
    // when the user folder is.
    std::string databasePath() const;
    // machineHivePath: the machine hive's file, <machineFolder>/machine.db;
    // empty when the machine folder is.
    std::string machineHivePath() const;

    // ensureCreated: makes sure the user folder exists as a directory,
    // creating it and its missing parents. Every folder created here gets
    // mode 0700 whatever the umask; an existing folder is left as it is.
    // Failures, with the number Windows gives for the same case:
    // ERROR_ACCESS_DENIED when permission is refused; ERROR_PATH_NOT_FOUND
    // otherwise, including an empty folder name and a path (or a parent) that
    // exists but is not a directory.
    Status ensureCreated() const;

private:
    std::string userFolder_;
    std::string machineFolder_;
};

}  // namespace pennaform::platform
