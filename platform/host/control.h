// The host backend's test surface: what tests set up and read back.
//
// The host backend keeps real files under a root folder (each drive letter
// maps to a folder), and holds everything else the updater meets on Windows
// as data: registry values, free space per drive, drive types, other
// programs' windows, scripted answers to message boxes, a scripted user for
// the modal dialog, and faults to inject into file operations. Tests only;
// the program itself never includes this header.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/types.h"
#include "platform/ui.h"

namespace platform {

// Forgets everything: drives, registry, windows, scripts, records, faults.
// The drive C: maps to `root`/C (created), the temporary folder is
// C:\TEMP\ (created).
void HostReset(const std::string& root);

// The host path for a Windows path on a mapped drive ("" when unmapped).
std::string HostPath(const char* windowsPath);
// The process's current folder ("C:\\START"), against which a relative path
// resolves as on Windows. Without one (the default), a relative path names
// no file.
void HostSetCurrentFolder(const std::string& windowsFolder);

// A CD-ROM drive backed by `folder`; an empty folder means no disc in it.
void HostAddCdromDrive(char drive, const std::string& folder);

// Free space. The extended query answers with these numbers unless it is
// made unavailable (the lookup finds nothing) or failing (the call fails).
enum class ExtendedQuery { Available, Unavailable, Failing };
void HostSetExtendedQuery(ExtendedQuery mode);
void HostSetFreeSpace(char drive, std::uint64_t freeToCaller, std::uint64_t totalBytes,
                      std::uint64_t totalFree);
// The cluster-based fallback; without a call it fails.
void HostSetClusterCounts(char drive, std::uint32_t sectorsPerCluster,
                          std::uint32_t bytesPerSector, std::uint32_t freeClusters,
                          std::uint32_t totalClusters);
// How many times the extended query was looked up (to check the cache).
int HostExtendedQueryLookups();
// The path the extended query was last called with. It answers by drive
// letter alone, where Windows takes a bare "C:" as the drive's current
// folder.
std::string HostExtendedQueryPath();

// Registry values under HKEY_CURRENT_USER. A key exists once a value is set
// in it, or when declared.
void HostDeclareRegistryKey(const std::string& subKey);
void HostSetRegistryValue(const std::string& subKey, const std::string& name,
                          std::vector<std::uint8_t> data);
void HostSetRegistryString(const std::string& subKey, const std::string& name,
                           const std::string& text);  // stored with its terminator
void HostSetRegistryDword(const std::string& subKey, const std::string& name,
                          std::uint32_t value);

// Other programs' top-level windows.
Window HostOpenWindow(const std::string& className, const std::string& title);
void HostCloseWindow(Window window);
bool HostWindowRaised(Window window);  // shown and brought to front

// The package resource of the module.
void HostSetPackageResource(std::vector<std::uint8_t> image);

// The temporary folder the system names (C:\TEMP\ after a reset).
void HostSetTempFolder(const std::string& windowsPath);

// Message boxes: each box takes the next scripted answer (Ok when the script
// is empty). `during` runs while the box is up, as a user's clicks on the
// dialog behind it would (a nested message loop).
void HostScriptAnswer(BoxAnswer answer, std::function<void()> during = {});
struct RecordedBox {
    std::string text;
    std::string caption;
    BoxKind kind;
    Window owner;
};
const std::vector<RecordedBox>& HostRecordedBoxes();

// The scripted user of the modal dialog: steps run in order after the
// dialog's initialisation, until the dialog ends. A dialog whose script runs
// out without ending returns HostScriptExhausted.
inline constexpr std::intptr_t HostScriptExhausted = -99;
void HostScriptDialog(std::vector<std::function<void(Window)>> steps);
// Sends a button click (a command with notification code 0) to the dialog,
// as the user's click would: only when the control exists, is enabled and
// visible. Returns false when the click could not be made.
bool HostClick(Window dialog, int id);
// Sends the cursor message; returns the procedure's answer.
bool HostSendSetCursor(Window dialog);
// Sends any command (id and notification code) regardless of state.
void HostSendCommand(Window dialog, int id, int code);

// State of the current (or last) dialog's controls, and of the dialog.
struct ControlState {
    std::string text;
    bool enabled = true;
    bool visible = true;
    bool checked = false;
    bool focused = false;
};
std::optional<ControlState> HostControl(Window dialog, int id);
std::string HostWindowTitle(Window window);
int HostDialogTemplate(Window dialog);
std::optional<std::intptr_t> HostDialogResult(Window dialog);
enum class CursorShape { None, Wait, Arrow };
CursorShape HostCursor();
// How often a long write has served the window (StayResponsive), and how
// often the keys typed ahead were dropped (DropTypedAhead).
int HostTimesServed();
int HostTypedAheadDrops();
// The dialog most recently created (stays readable after it has ended).
Window HostLastDialog();

// The shell copy: each call is recorded; it copies a file or a folder tree,
// replacing without asking and creating missing folders. It may be made to
// fail with a result code, or to report that the user aborted.
struct RecordedCopy {
    std::string from;
    std::string to;
    std::uint16_t flags;
    Window owner;
};
const std::vector<RecordedCopy>& HostRecordedCopies();
void HostFailShellCopy(int result);  // 0: copy for real again
void HostAbortShellCopy(bool aborted);

// Fault injection on file operations (and allocation). A plan makes the
// N-th call from now of that kind fail (countdown 1 = the next call), once
// or from then on. `fired` counts the faults injected.
enum class FaultKind {
    Open,        // OpenForRead, OpenForStamping
    Create,      // CreateNewForWrite
    Read,        // ReadOnce fails
    Write,       // WriteOnce fails
    ShortWrite,  // WriteOnce moves half the bytes and reports success
    Flush,       // FlushToDisk
    FileSize,    // FileSize32
    GetTime,     // GetLastWriteTime
    SetTime,     // SetFileTimes
    SetAttributes,
    Remove,
    MakeFolder,
    Replace,     // MoveReplacing
    Allocate,    // AllocateBlock
};
void HostPlanFault(FaultKind kind, int countdown, bool persistent = false);
int HostFaultsFired(FaultKind kind);
void HostClearFaults();  // also lifts the allocation limit
// Allocation of blocks larger than `limit` fails (a small heap), 0: none.
void HostLimitAllocation(std::size_t limit);

// Host-side helpers for tests: write, read and stamp files by Windows path.
void HostWriteFile(const char* windowsPath, const std::string& content);
std::optional<std::string> HostReadFile(const char* windowsPath);
FileTime HostFileTime(const char* windowsPath);  // last-write time
void HostSetFileTime(const char* windowsPath, FileTime time);  // last-write time
struct FileTimes {
    FileTime creation = 0;
    FileTime lastAccess = 0;
    FileTime lastWrite = 0;
};
FileTimes HostFileTimes(const char* windowsPath);  // all zero when missing

}  // namespace platform
