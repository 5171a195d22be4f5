// The shell's copy on the host: a file or a whole folder tree, replacing
// without asking and making missing folders, with the placement rules the
// shell follows (a folder copied onto an existing folder lands inside it).
#include "platform/shell.h"

#include <filesystem>

#include "platform/files.h"
#include "platform/host/machine.h"
#include "platform/text.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using host::TheMachine;

constexpr int ShellSourceMissing = 0x402;     // what the shell returns for a missing source
constexpr int ShellDestinationError = 0x10000;  // ERRORONDEST
constexpr int ShellCancelled = 0x4C7;         // ERROR_CANCELLED

bool CopyOneFile(const fs::path& source, const std::string& sourceHost, const std::string& target,
                 bool fromCdrom) {
    const auto targetHost = host::ResolvePath(target.c_str());
    std::error_code error;
    if (!targetHost || fs::is_directory(*targetHost, error)) return false;
    fs::create_directories(fs::path(*targetHost).parent_path(), error);
    if (!fs::copy_file(source, *targetHost, fs::copy_options::overwrite_existing, error)) return false;
    // The copy keeps the source's time stamp and attributes; a disc's files
    // arrive read-only.
    fs::last_write_time(*targetHost, fs::last_write_time(source, error), error);
    const auto& extras = TheMachine().extras;
    const auto kept = extras.find(sourceHost);
    std::uint32_t attributes = kept == extras.end() ? 0 : kept->second.attributes;
    if (fromCdrom) attributes |= AttributeReadOnly;
    TheMachine().extras[*targetHost].attributes = attributes;
    return true;
}

bool CopyTree(const std::string& sourceHost, const std::string& target, bool fromCdrom) {
    std::error_code error;
    if (!fs::is_directory(sourceHost, error)) {
        return CopyOneFile(sourceHost, sourceHost, target, fromCdrom);
    }
    const auto targetHost = host::ResolvePath(target.c_str());
    if (!targetHost) return false;
    fs::create_directories(*targetHost, error);
    if (!fs::is_directory(*targetHost, error)) return false;
    for (const fs::directory_entry& entry : fs::directory_iterator(sourceHost, error)) {
        const std::string name = entry.path().filename().string();
        if (!CopyTree(entry.path().string(), target + "\\" + name, fromCdrom)) return false;
    }
    return !error;
}

// The last component of a Windows path. Read a character at a time: the
// second byte of a double-byte character may be a backslash.
std::string BaseName(const char* path) {
    const char* name = path;
    for (const char* at = path; *at != '\0'; at = NextChar(at))
        if (NextChar(at) - at == 1 && (*at == '\\' || *at == '/' || *at == ':')) name = at + 1;
    return name;
}

}  // namespace

int ShellCopy(Window owner, const char* from, const char* to, std::uint16_t flags, bool* aborted) {
    host::Machine& machine = TheMachine();
    // Only the first string of each list counts: the updater copies one item a call.
    const std::string source = from;
    const std::string target = to;
    machine.copies.push_back({source, target, flags, owner});
    if (aborted != nullptr) *aborted = machine.shellCopyAborts;
    if (machine.shellCopyAborts) return ShellCancelled;
    if (machine.shellCopyFailure != 0) return machine.shellCopyFailure;

    const auto sourceHost = host::ResolvePath(source.c_str());
    std::error_code error;
    if (!sourceHost || !fs::exists(*sourceHost, error)) return ShellSourceMissing;
    const bool fromCdrom = IsCdromDrive(source.c_str());
    // Onto an existing folder, the item lands inside it under its own name;
    // a folder named with a separator after it gives its content alone.
    const bool intoFolder = GetAttributes(target.c_str()) == AttributeFolder && !host::EndsInSeparator(from);
    const std::string placed = intoFolder ? target + "\\" + BaseName(from) : target;
    // A folder copied into itself would grow without end.
    const auto placedHost = host::ResolvePath(placed.c_str());
    if (placedHost && (*placedHost + "/").rfind(*sourceHost + "/", 0) == 0) return ShellDestinationError;
    return CopyTree(*sourceHost, placed, fromCdrom) ? 0 : ShellDestinationError;
}

const std::vector<RecordedCopy>& HostRecordedCopies() { return TheMachine().copies; }

void HostFailShellCopy(int result) { TheMachine().shellCopyFailure = result; }

void HostAbortShellCopy(bool aborted) { TheMachine().shellCopyAborts = aborted; }

}  // namespace platform
