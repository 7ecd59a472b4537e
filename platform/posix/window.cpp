#include "platform/window.h"

namespace fr {

// There are no windows to keep the focus of: every call does nothing.

WindowHandle GetForegroundWindowHandle() {
    return 0;
}

void EnableWindowInput(WindowHandle, bool) {}

void BringWindowToForeground(WindowHandle) {}

void SendSetFocus(WindowHandle) {}

void ShowSystemErrorBox(const std::u16string&, const std::u16string&) {}

}  // namespace fr
