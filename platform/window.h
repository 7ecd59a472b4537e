#pragma once
// The foreground-window stack of the focus keeping, and the message box. POSIX has
// no windows: the calls do nothing. The message box is a seam: tests and
// unattended runs replace it so that no automated run ever blocks on a box.

#include <cstdint>
#include <functional>
#include <string>

namespace fr {

using WindowHandle = uintptr_t;

WindowHandle GetForegroundWindowHandle();
void EnableWindowInput(WindowHandle window, bool enable);
void BringWindowToForeground(WindowHandle window);
void SendSetFocus(WindowHandle window);

// A modal error box with no owner window.
using MessageBoxFunc = std::function<void(const std::u16string& title, const std::u16string& text)>;
void ShowErrorBox(const std::u16string& title, const std::u16string& text);
// Replaces the box (an empty function restores the platform's own).
void SetMessageBoxHook(MessageBoxFunc hook);
// The platform's own box, which ShowErrorBox uses when no hook is set.
void ShowSystemErrorBox(const std::u16string& title, const std::u16string& text);

}  // namespace fr
