#pragma once
// Encoders for the fields of a request frame.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/currency.h"
#include "platform/date_time.h"

namespace fr {

// Cashier names travel cut to this many characters in every command.
inline constexpr int kCashierFieldLength = 64;

std::string IntField(int64_t AValue);
std::string BoolField(bool AValue);
// 1251 text cut to AMaxLen characters (0: no cut), in code page 866, control bytes blanked.
std::string TextField(std::string_view AAnsi, int AMaxLen);
std::string TextField(std::u16string_view AText, int AMaxLen);
std::string AmountField(Currency AValue);
std::string QtyField(double AValue);
std::string DateField(TDateTime AValue);
std::string TimeField(TDateTime AValue);

// Raise "Неверный параметр" for an argument out of its range; called before anything is sent.
void CheckParameter(bool AValid);
void CheckParameter(int64_t AValue, int64_t AMin, int64_t AMax);

}  // namespace fr
