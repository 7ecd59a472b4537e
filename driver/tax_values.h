#pragma once
// TTaxValues: the VAT rates as the host writes them, in the order that gives each
// its index.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fr {

class TTaxValues {
  public:
    TTaxValues();  // filled at construction

    // The index of the rate (compared without regard to letter case, untrimmed), or -1.
    int32_t IDOfTax(std::u16string_view ATaxValue) const;

    // The register's tax number of the rate (found as IDOfTax finds it), or -1.
    int32_t TaxNumberOf(std::u16string_view ATaxValue) const;

    int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
    const std::u16string& operator[](int32_t AIndex) const {
        return FItems[static_cast<size_t>(AIndex)];
    }

  private:
    void AfterConstruction();
    std::vector<std::u16string> FItems;
};

}  // namespace fr
