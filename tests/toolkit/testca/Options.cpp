#include "toolkit/testca/Options.h"

#include "toolkit/testca/OpenSsl.h"

namespace pennaform::testca {

std::optional<Options> Options::parse(const std::vector<std::string>& args,
                                      const std::set<std::string>& valued,
                                      const std::set<std::string>& flags, bool positionalAllowed) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word.rfind("--", 0) != 0) {
            if (!positionalAllowed) {
                fail("unexpected argument " + word);
                return std::nullopt;
            }
            options.positional_.push_back(word);
        } else if (valued.count(word) != 0) {
            if (i + 1 >= args.size()) {
                fail(word + " needs a value");
                return std::nullopt;
            }
            options.values_[word].push_back(args[++i]);
        } else if (flags.count(word) != 0) {
            options.flags_.insert(word);
        } else {
            fail("unknown option " + word);
            return std::nullopt;
        }
    }
    return options;
}

std::optional<std::string> Options::value(const std::string& name) const {
    auto found = values_.find(name);
    if (found == values_.end()) return std::nullopt;
    return found->second.back();
}

std::vector<std::string> Options::values(const std::string& name) const {
    auto found = values_.find(name);
    return found == values_.end() ? std::vector<std::string>() : found->second;
}

bool Options::has(const std::string& name) const {
    return flags_.count(name) != 0 || values_.count(name) != 0;
}

}  // namespace pennaform::testca
