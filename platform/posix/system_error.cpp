#include "platform/system_error.h"

#include <string.h>

#include <cerrno>

#include "platform/text.h"

namespace fr {

namespace {

// strerror_r comes in two forms; both are answered here.
[[maybe_unused]] const char* ErrorText(int result, const char* buffer) {
    return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* ErrorText(const char* result, const char*) {
    return result;
}

}  // namespace

int LastSystemError() {
    return errno;
}

std::u16string SystemErrorText(int code) {
    char buffer[256] = {};
    const char* text = ErrorText(strerror_r(code, buffer, sizeof buffer), buffer);
    if (text == nullptr || *text == '\0') return u"System error " + IntToStr(code);
    return Utf8ToUtf16(text);
}

}  // namespace fr
