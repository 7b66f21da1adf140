#pragma once

#include <map>
#include <optional>
#include <span>
#include <string>

// A program's command line, read against its options listed in one table: one row per option, so that
// another option is one more row.
namespace CommandLine {

struct Option {
    std::string name;     // with its dashes: "--family"
    std::string argument; // the name of the value it takes ("small|medium|large"); empty: it takes none
    std::string help;     // one line for the usage text
};

struct Parsed {
    std::map<std::string, std::string> given; // the options given, by name, with their values
    std::optional<std::string> error;         // what is wrong with the command line, for standard error

    bool has(const std::string& name) const { return given.contains(name); }
};

// Options may come in any order, each at most once (a later one wins); a value follows its option as
// the next argument or after "=". Anything else (a word, an option not in the table, a value missing
// or given to an option that takes none) is an error.
Parsed parse(int argc, const char* const* argv, std::span<const Option> options);

// "usage: <program> [options]", the summary, then one line per option.
std::string usage(const std::string& program, const std::string& summary, std::span<const Option> options);

// What a program exits with when its command line is wrong.
inline constexpr int usageExitCode = 2;

} // namespace CommandLine
