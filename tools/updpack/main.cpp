// updpack: the publisher's tool. One row of the table per command.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/console.h"
#include "tools/updpack/commands.h"
#include "tools/updpack/package_commands.h"

namespace {

using updpack::CommandArguments;

struct Command {
    const char* name;
    const char* usage;  // the first line is the synopsis
    int (*run)(CommandArguments args, const std::filesystem::path& toolPath);
};

const Command commands[] = {
    {"create",
     "create OUT.fa2 [-C DIR] [-1..-9] [--scramble | --scramble=FILE...] [--plain-directory] "
     "FILE...\n"
     "  Packs the files (relative to DIR) into OUT.fa2, each as an entry named by its file\n"
     "  name with its modification time. An entry is compressed when that saves space;\n"
     "  -1 is the fastest level, -9 (the default) the smallest. --scramble scrambles every\n"
     "  entry, --scramble=FILE only that one (repeatable); --plain-directory leaves the\n"
     "  directory uncompressed.",
     [](CommandArguments args, const std::filesystem::path&) { return updpack::CreateCommand(args); }},
    {"list",
     "list PKG\n"
     "  One row per entry: name, size, stored size, compressed, scrambled, time (UTC).\n"
     "  PKG may be a package or an updater with a package stamped into it.",
     [](CommandArguments args, const std::filesystem::path&) { return updpack::ListCommand(args); }},
    {"extract",
     "extract PKG NAME [-o OUT]\n"
     "  Writes the content of the entry NAME (found without regard to case) to OUT with\n"
     "  the entry's time stamp, or to standard output (no -o, or -o -). A NAME with a\n"
     "  folder is taken whole, else by its file name.",
     [](CommandArguments args, const std::filesystem::path&) { return updpack::ExtractCommand(args); }},
    {"extract-all",
     "extract-all PKG -C DIR\n"
     "  Writes every entry into DIR (created when missing) with its time stamp.",
     [](CommandArguments args, const std::filesystem::path&) { return updpack::ExtractAllCommand(args); }},
    {"verify",
     "verify PKG\n"
     "  Restores every entry; exit status 0 when the package and all its entries are sound.",
     [](CommandArguments args, const std::filesystem::path&) { return updpack::VerifyCommand(args); }},
    {"stamp",
     "stamp STUB.exe PKG.fa2 -o UPDATE.EXE\n"
     "  Writes a copy of the updater STUB.exe that carries the package PKG.fa2.",
     [](CommandArguments args, const std::filesystem::path&) { return updpack::StampCommand(args); }},
    {"build",
     "build DIR -o UPDATE.EXE [--stub updater.exe]\n"
     "  Checks DIR as check does, packs its UPDATE.INI, the files its lines extract and its\n"
     "  agreement and introduction texts, and stamps the package into the updater stub\n"
     "  (default: updater.exe beside updpack).",
     [](CommandArguments args, const std::filesystem::path& toolPath) {
         return updpack::BuildCommand(args, toolPath);
     }},
    {"check",
     "check DIR [--setup SETUP.INI] [--mode N]\n"
     "  Reads DIR/UPDATE.INI as the updater does and prints the plan per install mode, then\n"
     "  the mistakes found; exit status 0 clean, 1 warnings, 2 errors. --setup names the\n"
     "  game's SETUP.INI for the disc check files; --mode shows one install mode (a digit\n"
     "  0 to 9).",
     [](CommandArguments args, const std::filesystem::path&) { return updpack::CheckCommand(args); }},
};

void PrintOverview(std::FILE* out) {
    std::fprintf(out, "usage: updpack COMMAND [ARGUMENTS]   (updpack COMMAND --help for details)\n");
    for (const Command& command : commands) {
        const std::string usage = command.usage;
        std::fprintf(out, "  updpack %s\n", usage.substr(0, usage.find('\n')).c_str());
    }
}

int Run(const std::vector<std::string>& args) {
    if (args.size() < 2 || args[1] == "--help" || args[1] == "-h") {
        PrintOverview(args.size() < 2 ? stderr : stdout);
        return args.size() < 2 ? 2 : 0;
    }
    const auto command = std::find_if(std::begin(commands), std::end(commands),
                                      [&](const Command& c) { return args[1] == c.name; });
    if (command == std::end(commands)) {
        std::fprintf(stderr, "updpack: unknown command %s\n", args[1].c_str());
        PrintOverview(stderr);
        return 2;
    }
    const CommandArguments rest(args.begin() + 2, args.end());
    // Past "--" even "--help" is a name.
    const auto optionsEnd = std::find(rest.begin(), rest.end(), "--");
    if (std::any_of(rest.begin(), optionsEnd, [](const std::string& a) { return a == "--help" || a == "-h"; })) {
        std::printf("usage: updpack %s\n", command->usage);
        return 0;
    }
    // Files that ship beside the tool are found by where it lies.
    const std::filesystem::path executable = platform::RunningExecutablePath();
    return command->run(rest, executable.empty() ? std::filesystem::path(args[0]) : executable);
}

}  // namespace

int main(int argc, char** argv) {
    if (!platform::UseSystemCodePageForNarrowText())
        std::fprintf(stderr, "updpack: warning: the C runtime cannot use this system's code page; "
                             "file names that are not ASCII may come out garbled\n");
    int status = 1;
    try {
        status = Run(std::vector<std::string>(argv, argv + argc));
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "updpack: %s\n", failure.what());
    } catch (...) {
        std::fprintf(stderr, "updpack: unexpected failure\n");
    }
    // A listing or an entry cut short by a full disk is no success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "updpack: cannot write to standard output\n");
        return status == 0 ? 1 : status;
    }
    return status;
}
