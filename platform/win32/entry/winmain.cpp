// The Windows entry point of updater.exe; the program itself starts in
// updater::WinMain, which the host tests call directly.
#include <windows.h>

#include "platform/types.h"
#include "updater/startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return updater::WinMain(reinterpret_cast<platform::Module>(instance));
}
