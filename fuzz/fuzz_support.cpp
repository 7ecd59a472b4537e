#include "fuzz/fuzz_support.h"

#include <bit>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <vector>

namespace fr::fuzz {

namespace {

constexpr int kMaxDepth = 3;
constexpr size_t kMaxElements = 64;

// Codes with a value of their own; any other code is decoded as a bare type.
constexpr uint16_t kScalarTypes[] = {vtSmallint, vtInteger, vtSingle,   vtDouble,   vtCurrency,
                                     vtDate,     vtOleStr,  vtDispatch, vtError,    vtBoolean,
                                     vtShortInt, vtByte,    vtWord,     vtLongWord, vtInt64,
                                     vtUInt64,   vtString,  vtUString};

bool HasValue(uint16_t type) {
    if (type == vtEmpty || type == vtNull) return true;
    for (uint16_t t : kScalarTypes)
        if (t == type) return true;
    return false;
}

}  // namespace

void UseScratchDataFolder() {
    if (std::getenv("FR_COMMON_APPDATA") != nullptr) return;
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("fr_fuzz_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    ::setenv("FR_COMMON_APPDATA", dir.c_str(), 1);
}

std::u16string TVariantDecoder::DecodeText() {
    const size_t length = FData.ConsumeIntegralInRange<size_t>(0, 48);
    std::u16string text;
    for (size_t i = 0; i < length && FData.remaining_bytes() > 0; ++i) {
        // Mostly ASCII and Cyrillic, now and then any unit (lone surrogates too).
        const uint8_t pick = FData.ConsumeIntegral<uint8_t>();
        if (pick < 0x80)
            text.push_back(static_cast<char16_t>(pick));
        else if (pick < 0xC0)
            text.push_back(static_cast<char16_t>(0x0410 + (pick - 0x80)));
        else
            text.push_back(FData.ConsumeIntegral<char16_t>());
    }
    return text;
}

Variant TVariantDecoder::DecodeScalar(uint16_t AType) {
    switch (AType) {
        case vtEmpty:
            return Variant();
        case vtNull:
            return Variant::Null();
        case vtSmallint:
            return Variant::FromSmallint(FData.ConsumeIntegral<int16_t>());
        case vtInteger:
            return Variant(FData.ConsumeIntegral<int32_t>());
        case vtSingle:
            return Variant::FromSingle(std::bit_cast<float>(FData.ConsumeIntegral<uint32_t>()));
        case vtDouble:
            return Variant(std::bit_cast<double>(FData.ConsumeIntegral<uint64_t>()));
        case vtCurrency:
            return Variant(Currency::FromRaw(FData.ConsumeIntegral<int64_t>()));
        case vtDate:
            return Variant::FromDate(std::bit_cast<double>(FData.ConsumeIntegral<uint64_t>()));
        case vtOleStr:
            return Variant(DecodeText());
        case vtDispatch:
            return Variant::FromDispatch(FData.ConsumeIntegral<uintptr_t>());
        case vtError:
            return Variant::FromError(FData.ConsumeIntegral<int32_t>());
        case vtBoolean:
            return Variant(FData.ConsumeBool());
        case vtShortInt:
            return Variant::FromShortInt(FData.ConsumeIntegral<int8_t>());
        case vtByte:
            return Variant::FromByte(FData.ConsumeIntegral<uint8_t>());
        case vtWord:
            return Variant::FromWord(FData.ConsumeIntegral<uint16_t>());
        case vtLongWord:
            return Variant::FromLongWord(FData.ConsumeIntegral<uint32_t>());
        case vtInt64:
            return Variant::FromInt64(FData.ConsumeIntegral<int64_t>());
        case vtUInt64:
            return Variant::FromUInt64(FData.ConsumeIntegral<uint64_t>());
        case vtString:
            return Variant::FromAnsiString(
                FData.ConsumeRandomLengthString(48));  // 1251 bytes, any of them
        case vtUString:
            return Variant::FromUString(DecodeText());
        default:
            return Variant::OfType(AType);
    }
}

Variant TVariantDecoder::Decode(int ADepth) {
    enum { kScalar, kEmpty, kNull, kBare, kArray, kNoArray, kByRef, kKinds };
    const int kind = FData.ConsumeIntegralInRange<int>(0, kKinds - 1);
    switch (kind) {
        case kEmpty:
            return Variant();
        case kNull:
            return Variant::Null();
        case kBare: {
            // A code the value model does not know (vtVariant, vtUnknown, 14, 30...).
            uint16_t type = FData.ConsumeIntegral<uint16_t>() & vtTypeMask;
            if (HasValue(type)) type = vtUnknown;
            return Variant::OfType(type);
        }
        case kArray:
            if (ADepth < kMaxDepth) return DecodeArray(ADepth + 1);
            return Variant();
        case kNoArray:
            return Variant::FromArray(nullptr, FData.PickValueInArray(kScalarTypes) & vtTypeMask);
        case kByRef:
            if (ADepth < kMaxDepth) {
                FArena.push_back(Decode(ADepth + 1));
                return Variant::ByRef(&FArena.back());
            }
            return Variant();
        default:
            return DecodeScalar(FData.PickValueInArray(kScalarTypes));
    }
}

Variant TVariantDecoder::DecodeArray(int ADepth) {
    const bool ofVariants = FData.ConsumeBool();
    const uint16_t elementType =
        ofVariants ? uint16_t{vtVariant} : FData.PickValueInArray(kScalarTypes);
    const int dims = FData.ConsumeIntegralInRange<int>(0, 3);
    std::vector<SafeArrayBound> bounds;
    size_t total = 1;
    for (int d = 0; d < dims; ++d) {
        SafeArrayBound b;
        // Usually small, zero- or one-based; sometimes at the ends of the range.
        switch (FData.ConsumeIntegralInRange<int>(0, 3)) {
            case 0:
                b.lLbound = 0;
                break;
            case 1:
                b.lLbound = 1;
                break;
            case 2:
                b.lLbound = FData.ConsumeIntegralInRange<int32_t>(-4, 4);
                break;
            default:
                b.lLbound = FData.ConsumeIntegral<int32_t>();
                break;
        }
        b.cElements = FData.ConsumeIntegralInRange<uint32_t>(0, 4);
        total *= b.cElements;
        bounds.push_back(b);
    }
    if (dims == 0) total = 0;
    if (FElements + total > kMaxElements) return Variant();
    FElements += total;
    auto array = std::make_shared<SafeArray>(elementType, bounds);
    for (Variant& element : array->Elements()) {
        element = ofVariants ? Decode(ADepth) : DecodeScalar(elementType);
    }
    return Variant::FromArray(std::move(array), elementType);
}

}  // namespace fr::fuzz
