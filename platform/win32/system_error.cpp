#include "platform/system_error.h"

#include <windows.h>

#include "platform/text.h"
#include "platform/win32/wide.h"

namespace fr {

int LastSystemError() {
    return static_cast<int>(::GetLastError());
}

std::u16string SystemErrorText(int code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::u16string text;
    if (length != 0 && buffer) text = FromWide(std::wstring_view(buffer, length));
    if (buffer) LocalFree(buffer);
    // The system ends its texts with a point and a line break; callers add their own.
    while (!text.empty() && (text.back() <= u' ' || text.back() == u'.'))
        text.pop_back();
    if (text.empty()) return u"System error " + IntToStr(code);
    return text;
}

}  // namespace fr
