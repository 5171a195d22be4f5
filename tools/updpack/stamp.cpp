#include "tools/updpack/stamp.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

#include "tools/updpack/arguments.h"
#include "tools/updpack/commands.h"
#include "tools/updpack/native_files.h"
#include "tools/updpack/package_commands.h"
#include "tools/updpack/package_files.h"
#include "tools/updpack/pe_resources.h"

namespace updpack {
namespace {

std::optional<StampedImage> StampStub(const std::filesystem::path& stubPath, std::span<const std::uint8_t> package,
                                      StampReport* report, std::string* error) {
    const auto stub = ReadNativeFile(stubPath, error);
    if (!stub) return std::nullopt;
    auto stamped = StampPackage(*stub, package, report, error);
    if (!stamped) *error = PrintablePath(stubPath) + ": " + *error;
    return stamped;
}

}  // namespace

bool CheckStub(const std::filesystem::path& stubPath, std::string* error) {
    StampReport report;
    return StampStub(stubPath, {}, &report, error).has_value();
}

bool MayWriteUpdater(const std::string& outputPath, std::string* error) {
    const auto isUpdater = [](std::span<const std::uint8_t> content) {
        std::string noPackage;
        return FindPackageInImage(content, &noPackage).has_value();
    };
    return MayReplaceWith(outputPath, "an updater with a package in it", isUpdater, error);
}

bool StampFile(const std::filesystem::path& stubPath, std::span<const std::uint8_t> package,
               const std::string& outputPath, std::string* error) {
    StampReport report;
    const auto stamped = StampStub(stubPath, package, &report, error);
    if (!stamped) return false;
    if (!WriteStampedImage(outputPath, *stamped, error)) return false;
    // The output is told of, as the stub itself stays as it was.
    if (report.droppedSignature)
        std::printf("%s: carries no Authenticode signature, as %s's does not carry over; sign it\n",
                    outputPath.c_str(), PrintablePath(stubPath).c_str());
    return true;
}

int StampCommand(std::span<const std::string> args) {
    const auto parsed = ParseCommandArguments("stamp", args, {"-o"}, 2);
    if (!parsed) return 2;
    const std::string* output = parsed->Option("-o");
    if (!output) return UsageError("stamp", "the output (-o) is missing");
    std::string error;
    if (!MayWriteUpdater(*output, &error)) {
        std::fprintf(stderr, "updpack stamp: %s\n", error.c_str());
        return 1;
    }
    // Mapped, not read: the package is written out from the page cache. It
    // may come out of another stamped exe, the output itself included (a new
    // stub for an existing UPDATE.EXE); that one is read, as the output
    // replaces it.
    std::error_code ignored;
    const bool intoItself = std::filesystem::equivalent(parsed->positional[1], *output, ignored);
    const auto package = LoadPackageForCommand("stamp", parsed->positional[1],
                                               intoItself ? PackageAccess::Copied : PackageAccess::Mapped);
    if (!package) return 1;
    if (!HasPackageMagic(package->image, &error)) {
        std::fprintf(stderr, "updpack stamp: %s: %s\n", parsed->positional[1].c_str(), error.c_str());
        return 1;
    }
    // The players could not repair a damaged entry; the publisher can.
    if (const int damaged = CountDamagedEntries(*package, "stamp")) {
        std::fprintf(stderr, "updpack stamp: %s: %s; %s not written\n", parsed->positional[1].c_str(),
                     Counted(static_cast<std::size_t>(damaged), "damaged entry", "damaged entries").c_str(),
                     output->c_str());
        return 1;
    }
    // Written all the same, as verify passes such a package.
    WarnOfUnusableEntries("stamp", parsed->positional[1], package->directory.entries());
    if (!StampFile(parsed->positional[0], package->image, *output, &error)) {
        std::fprintf(stderr, "updpack stamp: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s: %zu bytes of package stamped\n", output->c_str(), package->image.size());
    return 0;
}

}  // namespace updpack
