#pragma once
// The result codes the component answers, each once. Their texts are the
// equipment catalogue's (support/equipment_errors.cpp); the register's own error
// codes travel inside 1001's description.

#include <cstdint>

namespace fr {

constexpr int32_t kResultOk = 0;
constexpr int32_t kResultUnknownError = 1001;
constexpr int32_t kResultNotSupported = 1003;
constexpr int32_t kResultBadParameters = 1004;
constexpr int32_t kResultNoAnswer = 1007;
constexpr int32_t kResultProtocolError = 1014;
constexpr int32_t kResultReadError = 1017;
constexpr int32_t kResultUnknownTax = 3010;

}  // namespace fr
