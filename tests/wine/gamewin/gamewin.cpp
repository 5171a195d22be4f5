// Stand-ins for other programs in tests under Wine, outside the program's
// layers, so Win32 directly:
//   gamewin.exe window CLASS TITLE   a top-level window, as the running game
//                                    shows, until it is asked to close
//   gamewin.exe box TITLE TEXT       a message box (to check the driver)
// Arguments arrive in the ANSI code page, as the driver passes them.
#include <windows.h>

#include <cstring>

namespace {

LRESULT CALLBACK GameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int RunWindow(const char* className, const char* title) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = GameProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    if (!RegisterClassA(&windowClass)) return 3;
    HWND window = CreateWindowA(className, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 320,
                                200, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!window) return 4;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "window") == 0) return RunWindow(argv[2], argv[3]);
    if (argc == 4 && std::strcmp(argv[1], "box") == 0)
        return MessageBoxA(nullptr, argv[3], argv[2], MB_OKCANCEL) == IDOK ? 1 : 2;
    return 2;
}
