// The simulated Windows machine behind the host backend: one record holding
// everything a test sets up or reads back, and the helpers every host file
// shares (path mapping, error translation, fault plans).
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/host/control.h"
#include "platform/ui.h"
#include "platform/volumes.h"

namespace platform {

// A window of the simulation: another program's top-level window, the modal
// dialog, or a message box while it is up. Closed windows stay allocated
// until HostReset, so a test may read a dialog after it has ended.
struct WindowObject {
    std::string className;
    std::string title;
    bool open = true;
    bool raised = false;

    // Dialogs only.
    int templateId = 0;
    DialogProcedure procedure = nullptr;
    std::map<int, ControlState> controls;  // focus is kept apart, in focusedId
    int focusedId = 0;
    std::optional<std::intptr_t> result;
};

namespace host {

// The class every dialog and message box has: atom 0x8002 on Windows.
inline constexpr const char* DialogClass = "#32770";

struct FreeSpace {
    std::uint64_t freeToCaller = 0;
    std::uint64_t totalBytes = 0;
    std::uint64_t totalFree = 0;
};

struct FaultPlan {
    int countdown = 0;  // 0: not armed; 1: the next call fails
    bool persistent = false;
    int fired = 0;
};

// Per file, what POSIX keeps no place for: Windows attribute bits and the
// creation time.
struct FileExtras {
    std::uint32_t attributes = 0;  // ReadOnly | Hidden | System | Archive
    std::optional<FileTime> creation;
};

struct ScriptedAnswer {
    BoxAnswer answer;
    std::function<void()> during;
};

struct Machine {
    std::map<char, std::string> drives;  // upper-case letter -> host folder
    // Drives that are native folders of the tool's, whose host names are
    // UTF-8 as the system keeps them; the tests' drives hold the cp932
    // bytes themselves.
    std::set<char> utf8Drives;
    std::map<char, bool> cdromDrives;    // letter -> has a disc
    std::string tempFolder;
    std::string currentFolder;  // HostSetCurrentFolder's; empty: none

    ExtendedQuery extendedQuery = ExtendedQuery::Available;
    std::map<char, FreeSpace> freeSpace;
    std::map<char, ClusterCounts> clusterCounts;
    int extendedLookups = 0;
    std::string extendedQueryPath;  // as the last call of the query gave it

    // Subkey -> value name -> data, each name as FoldedName folds it.
    std::map<std::string, std::map<std::string, std::vector<std::uint8_t>>> registry;

    std::vector<std::unique_ptr<WindowObject>> windows;
    Window lastDialog = nullptr;
    CursorShape cursor = CursorShape::None;
    int timesServed = 0;      // StayResponsive calls
    int typedAheadDrops = 0;  // DropTypedAhead calls
    std::vector<ScriptedAnswer> answers;  // taken from the front
    std::vector<RecordedBox> boxes;
    std::vector<std::function<void(Window)>> dialogScript;

    std::vector<RecordedCopy> copies;
    int shellCopyFailure = 0;
    bool shellCopyAborts = false;

    std::vector<std::uint8_t> packageResource;

    std::map<std::string, FileExtras> extras;  // by resolved host path
    std::map<FaultKind, FaultPlan> faults;
    std::size_t allocationLimit = 0;
};

Machine& TheMachine();

// The host path of a Windows path ("X:\..." or "X:/..."), each component
// matched case-blind when no exact match exists. Null when the path has no
// drive, the drive is not mapped, or it is a CD-ROM drive without a disc.
std::optional<std::string> ResolvePath(const char* windowsPath);

// True when the Windows path ends in a separator (not a double-byte
// character's second byte): it names a folder, and never a file.
bool EndsInSeparator(const char* windowsPath);

// True when `hostPath` names something other than a plain file: a folder, a
// pipe, a device. Windows opens none of them for reading as a file, and
// opening a pipe here would wait for a writer.
bool IsNoPlainFile(const std::string& hostPath);

// Case folding of one ASCII letter: drive letters, and single bytes of text.
char UpperAscii(char c);

// `name` with each character folded as platform::EqualNoCase folds it
// (double-byte characters kept whole, full-width letters folded too): the
// key of a table looked up case-blind, such as the registry's.
std::string FoldedName(const char* name);

// The Windows error code for a failed POSIX call on `hostPath`.
std::uint32_t WindowsError(int posixError, const std::string& hostPath);
Status Failure(std::uint32_t windowsError);
Status Success();

// True when the plan of `kind` makes this call fail; then errno is
// `posixError`, so the caller's own error translation runs.
bool FaultFires(FaultKind kind, int posixError);

// Creates a window owned by the machine.
Window NewWindow(const std::string& className, const std::string& title);

// FILETIME <-> POSIX time.
FileTime FileTimeFromTimespec(const timespec& time);
timespec TimespecFromFileTime(FileTime time);
// Sets the last-write time of a host file, leaving its access time.
bool SetLastWriteTime(const std::string& hostPath, FileTime time);

// Windows error codes the backend gives.
inline constexpr std::uint32_t ErrorFileNotFound = 2;
inline constexpr std::uint32_t ErrorPathNotFound = 3;
inline constexpr std::uint32_t ErrorAccessDenied = 5;
inline constexpr std::uint32_t ErrorNotReady = 21;
inline constexpr std::uint32_t ErrorFileExists = 80;
inline constexpr std::uint32_t ErrorInvalidParameter = 87;
inline constexpr std::uint32_t ErrorInvalidName = 123;
inline constexpr std::uint32_t ErrorDiskFull = 112;
inline constexpr std::uint32_t ErrorFilenameTooLong = 206;
inline constexpr std::uint32_t ErrorDirNotEmpty = 145;
inline constexpr std::uint32_t ErrorDirectoryInvalid = 267;
inline constexpr std::uint32_t ErrorAlreadyExists = 183;
inline constexpr std::uint32_t ErrorIoDevice = 1117;
inline constexpr std::uint32_t ErrorGeneric = 31;

}  // namespace host
}  // namespace platform
