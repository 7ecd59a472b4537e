#pragma once
// The last operating-system error and its text, as the system words it.

#include <string>

namespace fr {

int LastSystemError();
std::u16string SystemErrorText(int code);
inline std::u16string LastSystemErrorText() {
    return SystemErrorText(LastSystemError());
}

}  // namespace fr
