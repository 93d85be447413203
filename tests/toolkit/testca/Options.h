// Options: the "--name value" and "--flag" words of one subcommand, checked
// against the names the subcommand knows.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace pennaform::testca {

class Options {
public:
    // parse: reads `args`. Names in `valued` take the next word as their
    // value and may repeat; names in `flags` take none; any other word
    // starting with "--" is an error, and so is a word that is no option
    // (kept in positional() when `positionalAllowed`). Errors are reported.
    static std::optional<Options> parse(const std::vector<std::string>& args,
                                        const std::set<std::string>& valued,
                                        const std::set<std::string>& flags,
                                        bool positionalAllowed = false);

    // value: the last value given for `name`.
    std::optional<std::string> value(const std::string& name) const;
    // values: every value given for `name`, in order.
    std::vector<std::string> values(const std::string& name) const;
    bool has(const std::string& name) const;
    const std::vector<std::string>& positional() const { return positional_; }

private:
    std::map<std::string, std::vector<std::string>> values_;
    std::set<std::string> flags_;
    std::vector<std::string> positional_;
};

}  // namespace pennaform::testca
