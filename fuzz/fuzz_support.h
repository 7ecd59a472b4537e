#pragma once
// Shared pieces of the fuzz targets: a scratch data folder, the decoder that
// turns fuzzer bytes into host values, and the entry points the targets and the
// regression tests share.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#if __has_include(<fuzzer/FuzzedDataProvider.h>)
#include <fuzzer/FuzzedDataProvider.h>
#else
#include <FuzzedDataProvider.h>  // builds other than clang's name its folder directly
#endif

#include "platform/variant.h"

namespace fr::fuzz {

// Points the common data folder (log, .sts files) at a private temporary folder
// unless the caller already chose one, so that no run writes into a system folder.
void UseScratchDataFolder();

// Host values decoded from fuzzer bytes. Referenced variants live in the arena,
// which must outlive every value decoded into it.
class TVariantDecoder {
  public:
    TVariantDecoder(FuzzedDataProvider& AData, std::deque<Variant>& AArena)
        : FData(AData), FArena(AArena) {}
    // Any kind: scalars, strings of every kind, unknown codes, references, and
    // arrays with any dimensions and bounds, nested up to a small depth.
    Variant Decode(int ADepth = 0);
    // A value of one scalar kind (the elements of a typed array).
    Variant DecodeScalar(uint16_t AType);
    std::u16string DecodeText();

  private:
    Variant DecodeArray(int ADepth);

    FuzzedDataProvider& FData;
    std::deque<Variant>& FArena;
    size_t FElements = 0;  // array elements decoded so far, kept small per input
};

// The targets, one per subject; each returns 0 and lets only real faults escape.
int FuzzAnswer(const uint8_t* AData, size_t ASize);
int FuzzLogText(const uint8_t* AData, size_t ASize);
int FuzzSettingsFile(const uint8_t* AData, size_t ASize);
int FuzzHostParams(const uint8_t* AData, size_t ASize);
int FuzzHostXml(const uint8_t* AData, size_t ASize);

}  // namespace fr::fuzz

// Each target's translation unit defines the libFuzzer entry unless the build
// replays inputs through the functions above instead.
#ifdef FR_FUZZ_ENTRY
#define FR_FUZZ_TARGET(function)                                              \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { \
        return function(data, size);                                          \
    }
#else
#define FR_FUZZ_TARGET(function)
#endif
