#include "tools/updpack/arguments.h"

#include <algorithm>
#include <cstdio>

namespace updpack {

const std::string* Arguments::Option(const std::string& name) const {
    const auto found = options.find(name);
    return found == options.end() ? nullptr : &found->second;
}

std::optional<Arguments> ParseArguments(std::span<const std::string> args,
                                        std::initializer_list<const char*> knownOptions,
                                        std::size_t positionalCount, std::string* error) {
    Arguments parsed;
    bool optionsEnded = false;  // by "--": a name may then start with '-'
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            parsed.positional.push_back(arg);
            continue;
        }
        const bool known = std::any_of(knownOptions.begin(), knownOptions.end(),
                                       [&](const char* name) { return arg == name; });
        if (!known) {
            *error = "unknown option " + arg;
            return std::nullopt;
        }
        if (i + 1 == args.size()) {
            *error = "option " + arg + " needs a value";
            return std::nullopt;
        }
        // Given empty (a variable a script left unset), it names nothing.
        if (args[i + 1].empty()) {
            *error = "option " + arg + " given empty";
            return std::nullopt;
        }
        if (!parsed.options.emplace(arg, args[++i]).second) {
            *error = "option " + arg + " given twice";
            return std::nullopt;
        }
    }
    if (parsed.positional.size() != positionalCount) {
        *error = "expected " + std::to_string(positionalCount) + " argument(s), got " +
                 std::to_string(parsed.positional.size());
        return std::nullopt;
    }
    return parsed;
}

int UsageError(const char* command, const std::string& what) {
    std::fprintf(stderr, "updpack %s: %s (see updpack %s --help)\n", command, what.c_str(), command);
    return 2;
}

std::optional<Arguments> ParseCommandArguments(const char* command, std::span<const std::string> args,
                                               std::initializer_list<const char*> knownOptions,
                                               std::size_t positionalCount) {
    std::string error;
    auto parsed = ParseArguments(args, knownOptions, positionalCount, &error);
    if (!parsed) UsageError(command, error);
    return parsed;
}

}  // namespace updpack
