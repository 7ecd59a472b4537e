#pragma once
// The driver's own error hierarchy. Everything the Parts describe as "raises an
// error carrying a message" throws a subclass of fr::Exception; the component
// object catches this hierarchy and nothing else.

#include <stdexcept>
#include <string>

namespace fr {

class Exception : public std::exception {
  public:
    explicit Exception(std::u16string message);
    const std::u16string& Message() const noexcept { return message_; }
    // UTF-8 form of the message, for diagnostics outside the driver.
    const char* what() const noexcept override { return utf8_.c_str(); }

  private:
    std::u16string message_;
    std::string utf8_;
};

// A value that cannot be converted (variant casts, number and date texts).
class EConvertError : public Exception {
  public:
    using Exception::Exception;
};

// A variant type cast that is not possible (null into a string, text into a Boolean).
class EVariantError : public EConvertError {
  public:
    using EConvertError::EConvertError;
};

// XML that does not parse, or a DOM operation on a missing node.
class EXmlError : public Exception {
  public:
    using Exception::Exception;
};

// An operating-system call failed; the message is the system's text.
class EOSError : public Exception {
  public:
    using Exception::Exception;
};

}  // namespace fr
