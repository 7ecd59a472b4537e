#pragma once
// The fiscal driver's own user-visible texts, in one place.

#include <string_view>

namespace fr::driver_texts {

// The caption of every log line of the driver.
inline constexpr std::u16string_view kLogCaption = u"TDriver";
// The result line of an operation that succeeded.
inline constexpr std::u16string_view kNoErrors = u"Нет ошибок";
// An operation called before the first connection.
inline constexpr std::u16string_view kNotConnected =
    u"Нет подключения к ККТ: метод Open ещё не вызывался";
// An error that carries no message of the driver's own hierarchy.
inline constexpr std::u16string_view kUnknownError = u"Неизвестная ошибка";
inline constexpr std::u16string_view kShiftOpen = u"Смена открыта";
inline constexpr std::u16string_view kInsufficientCash = u"Недостаточно средств в кассе";
// The one additional action the driver answers.
inline constexpr std::u16string_view kShowSettingsDlg = u"ShowSettingsDlg";
// The log line of a command whose answer was lost though the register carried it out.
inline constexpr std::u16string_view kAnswerLostDone = u"Ответ ККТ потерян, команда выполнена: ";
// The driver's folder and the stem of its log file names.
inline constexpr std::u16string_view kDriverName = u"fr_norvane1c83";

}  // namespace fr::driver_texts
