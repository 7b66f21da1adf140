#include "CommandLine.h"

#include <algorithm>

namespace CommandLine {

namespace {

const Option* find(std::span<const Option> options, const std::string& name) {
    const auto row = std::find_if(options.begin(), options.end(), [&](const Option& o) { return o.name == name; });
    return row == options.end() ? nullptr : &*row;
}

} // namespace

Parsed parse(int argc, const char* const* argv, std::span<const Option> options) {
    Parsed parsed;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const auto equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const Option* option = argument.starts_with("--") ? find(options, name) : nullptr;
        if (!option) {
            parsed.error = argument.starts_with("-") ? "unknown option '" + name + "'"
                                                      : "unexpected argument '" + argument + "'";
            return parsed;
        }
        std::optional<std::string> value;
        if (equals != std::string::npos)
            value = argument.substr(equals + 1);
        else if (!option->argument.empty() && i + 1 < argc)
            value = argv[++i];
        if (option->argument.empty() == value.has_value()) {
            parsed.error = value ? "option '" + name + "' takes no value"
                                 : "option '" + name + "' needs a value (" + option->argument + ")";
            return parsed;
        }
        parsed.given[name] = value.value_or("");
    }
    return parsed;
}

std::string usage(const std::string& program, const std::string& summary, std::span<const Option> options) {
    std::string text = "usage: " + program + " [options]\n" + summary + "\n\noptions:\n";
    std::size_t width = 0;
    for (const Option& o : options)
        width = std::max(width, o.name.size() + (o.argument.empty() ? 0 : o.argument.size() + 1));
    for (const Option& o : options) {
        const std::string left = o.name + (o.argument.empty() ? "" : " " + o.argument);
        text += "  " + left + std::string(width - left.size() + 2, ' ') + o.help + "\n";
    }
    return text;
}

} // namespace CommandLine
