#include "framework/CommandLineOption.h"

#include <algorithm>

namespace fw {

std::string CommandLineOption::notA(const std::string& expected) const
{
    return "option '" + name + "': '" + value + "' is not " + expected;
}

std::optional<CommandLineOption> readOption(const std::vector<std::string>& args, std::size_t& i,
                                            std::initializer_list<std::string_view> valued,
                                            std::initializer_list<std::string_view> flags, std::string& error)
{
    CommandLineOption option{args[i], {}};
    std::optional<std::string> inlineValue;
    if (const auto equals = option.name.find('='); option.name.rfind("--", 0) == 0 && equals != std::string::npos) {
        inlineValue = option.name.substr(equals + 1);
        option.name.resize(equals);
    }
    const auto known = [&](std::initializer_list<std::string_view> names) {
        return std::find(names.begin(), names.end(), option.name) != names.end();
    };
    if (known(flags)) {
        if (!inlineValue) return option;
        error = "option '" + option.name + "' takes no value";
        return std::nullopt;
    }
    if (!known(valued)) {
        error = "unknown option '" + args[i] + "'";
        return std::nullopt;
    }
    if (inlineValue) {
        option.value = *inlineValue;
    } else if (i + 1 < args.size()) {
        option.value = args[++i];
    } else {
        error = "option '" + option.name + "' needs a value";
        return std::nullopt;
    }
    return option;
}

} // namespace fw
