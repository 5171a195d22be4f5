// The Windows entry point of updater.exe; the program itself starts in
// updater::WinMain, which the host tests call directly.
#include <windows.h>

#include <cstdlib>

#include "platform/types.h"
#include "updater/startup.h"

namespace {

// The updater runs elevated, often straight from a downloads folder, where
// anyone may have left a DLL named like a system one. Before the program
// loads any DLL at run time, restrict the search to System32 and drop the
// current folder. (The DLLs it imports are loaded before WinMain, which
// this can't reach; they are all system DLLs.)
// SetDefaultDllDirectories is looked up because the oldest systems lack it;
// kernel32 is always mapped, so asking for its handle loads nothing.
void RestrictDllSearchToSystem() {
    const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    if (kernel != nullptr) {
        using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
        const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
            reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
        if (setDefault != nullptr) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    ::SetDllDirectoryA("");
}

// The disc search probes every CD-ROM drive for the disc's check file, and
// the updater asks for a missing disc in words of its own. Without this, a
// probe of an empty drive may first bring up the system's "no disk in the
// drive" box, which the player can't tell from ours.
// SetErrorMode answers with the mode it replaced, which keeps what the
// parent passed on (the oldest systems have no other way to read it).
void ReportDriveErrorsToTheCaller() {
    const UINT inherited = ::SetErrorMode(SEM_FAILCRITICALERRORS);
    ::SetErrorMode(inherited | SEM_FAILCRITICALERRORS);
}

}  // namespace

// The runtime's default terminate handler prints the pending exception's
// demangled type to a console the updater doesn't have, and drags the whole
// demangler (about 45 KB) into every player's download. start-up catches
// everything the library throws, so termination only ever means a bug: end
// at once.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    RestrictDllSearchToSystem();
    ReportDriveErrorsToTheCaller();
    return updater::WinMain(reinterpret_cast<platform::Module>(instance));
}
