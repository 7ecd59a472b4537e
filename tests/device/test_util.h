#pragma once

#include <string>

#include "platform/exception.h"

namespace fr::test {

// Runs the call and returns the message it raised ("" when it did not raise).
template <typename F>
std::u16string MessageOf(F&& call) {
    try {
        call();
    } catch (const Exception& e) {
        return e.Message();
    }
    return {};
}

}  // namespace fr::test
