#include "platform/exception.h"

#include "platform/text.h"

namespace fr {

Exception::Exception(std::u16string message)
    : message_(std::move(message)), utf8_(Utf16ToUtf8(message_)) {}

}  // namespace fr
