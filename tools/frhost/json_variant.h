#pragma once
// Host values in the JSON form of frhost's protocol.
//   In:  null (empty), true/false (Boolean), an integer within 32 bits (4-byte
//        integer), any other number (double), a string (BSTR), or the typed form
//        {"vt": CODE, "v": VALUE} with the OLE type code.
//   Out: always typed; no "v" for empty and null; a date as
//        "yyyy-mm-ddThh:nn:ss.zzz"; money as a number; an array's "v" lists its
//        elements in storage order.

#include <nlohmann/json.hpp>

#include "platform/exception.h"
#include "platform/variant.h"

namespace fr {

// A request line that is not one of the protocol's forms.
class EProtocolError : public Exception {
  public:
    using Exception::Exception;
};

// Raises EProtocolError for a value the protocol cannot express.
Variant JsonToVariant(const nlohmann::json& value);
nlohmann::json VariantToJson(const Variant& value);

// "yyyy-mm-ddThh:nn:ss.zzz" and back (days since 1899-12-30).
std::string DateToJsonText(double days);
bool TryJsonTextToDate(const std::string& text, double& days);

}  // namespace fr
