// Command arguments of the form: positional values and "-x VALUE" options.
#pragma once

#include <initializer_list>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace updpack {

struct Arguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;

    const std::string* Option(const std::string& name) const;
};

// Splits `args`; every option takes one value, and "--" ends the options
// (what follows is positional, '-' first or not). nullopt with `error` set on
// an unknown option, an option without its value or with an empty one, an
// option given twice, or a positional count other than `positionalCount`.
std::optional<Arguments> ParseArguments(std::span<const std::string> args,
                                        std::initializer_list<const char*> knownOptions,
                                        std::size_t positionalCount, std::string* error);

// Tells a usage mistake on standard error as "updpack COMMAND: WHAT (see
// updpack COMMAND --help)" and returns 2, a usage error's exit status.
int UsageError(const char* command, const std::string& what);

// ParseArguments for `command`; nullopt after a usage message.
std::optional<Arguments> ParseCommandArguments(const char* command, std::span<const std::string> args,
                                               std::initializer_list<const char*> knownOptions,
                                               std::size_t positionalCount);

}  // namespace updpack
