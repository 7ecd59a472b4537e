// Host values of any kind into the value-to-text conversions of the call log
// and of the settings file.

#include <deque>

#include "fuzz/fuzz_support.h"
#include "host/value_conversions.h"
#include "platform/exception.h"

namespace fr::fuzz {

int FuzzLogText(const uint8_t* AData, size_t ASize) {
    FuzzedDataProvider data(AData, ASize);
    std::deque<Variant> arena;
    TVariantDecoder decoder(data, arena);
    const Variant value = decoder.Decode();
    // The call log never fails on a value.
    VarToLogStr(value);
    VarArrayToLogStr(value);
    std::u16string text;
    try {
        text = VarToSettingStr(value);
    } catch (const Exception&) {
        // A value with no text (an unknown kind, an array) is refused with an error.
        return 0;
    }
    // The setting text read back as each declared type, as the .sts reader does.
    for (TDataType type : {dtNumber, dtString, dtDateTime, dtBoolean}) {
        try {
            const Variant back = SettingStrToVar(text, type);
            VarMatchesDataType(back, type);
            VarMatchesDataType(value, type);
        } catch (const EConvertError&) {
            // A date setting whose text is no date.
        }
    }
    return 0;
}

}  // namespace fr::fuzz

FR_FUZZ_TARGET(fr::fuzz::FuzzLogText)
