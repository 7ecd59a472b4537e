#pragma once
// One form for every host method table: rows of the names the host finds a
// method by, its parameter count and the handler, checked when compiled.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "host/base_driver.h"

namespace fr {

template <class TOwner>
struct TMethodRow {
    std::u16string_view Name;   // alias 0
    std::u16string_view Alias;  // alias 1
    int32_t ParamsCount;
    HResult (TOwner::*Handler)(Variant& pvarRetValue, SafeArray* paParams);
};

// Names the host tells apart: none empty, none used twice within a table.
template <class TOwner, size_t N>
constexpr bool MethodNamesAreDistinct(const TMethodRow<TOwner> (&rows)[N]) {
    for (size_t i = 0; i < N; ++i) {
        if (rows[i].Name.empty() || rows[i].Alias.empty() || rows[i].Name == rows[i].Alias)
            return false;
        if (rows[i].ParamsCount < 0) return false;
        for (size_t j = i + 1; j < N; ++j) {
            if (rows[i].Name == rows[j].Name || rows[i].Name == rows[j].Alias ||
                rows[i].Alias == rows[j].Name || rows[i].Alias == rows[j].Alias)
                return false;
        }
    }
    return true;
}

}  // namespace fr
