#include "platform/window.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace fr {

WindowHandle GetForegroundWindowHandle() {
    return reinterpret_cast<WindowHandle>(GetForegroundWindow());
}

void EnableWindowInput(WindowHandle window, bool enable) {
    EnableWindow(reinterpret_cast<HWND>(window), enable ? TRUE : FALSE);
}

void BringWindowToForeground(WindowHandle window) {
    SetForegroundWindow(reinterpret_cast<HWND>(window));
}

void SendSetFocus(WindowHandle window) {
    SendMessageW(reinterpret_cast<HWND>(window), WM_SETFOCUS, 0, 0);
}

namespace {

// A service (the platform's server processes) runs in a window station nobody
// sees: a modal box there would wait for ever for a press that never comes.
bool HasVisibleDesktop() {
    HWINSTA station = GetProcessWindowStation();
    if (station == nullptr) return false;
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;
    if (!GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed)) return false;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace

void ShowSystemErrorBox(const std::u16string& title, const std::u16string& text) {
    // Unattended machines set FR_NO_MESSAGE_BOX=1: nobody is there to close a box.
    wchar_t flag[8] = {};
    const DWORD n = GetEnvironmentVariableW(L"FR_NO_MESSAGE_BOX", flag, 8);
    if (n == 1 && flag[0] == L'1') return;
    if (!HasVisibleDesktop()) return;
    MessageBoxW(nullptr, Wide(text).c_str(), Wide(title).c_str(),
                MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

}  // namespace fr
