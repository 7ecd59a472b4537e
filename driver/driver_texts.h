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
// The log lines of a document command whose answer was lost: what the register
// showed when asked afterwards. The command's name follows.
inline constexpr std::u16string_view kAnswerLostDone = u"Ответ ККТ потерян, команда выполнена: ";
inline constexpr std::u16string_view kAnswerLostNotDone =
    u"Ответ ККТ потерян, команда не выполнена: ";
// The host's text when the register could not be asked whether a document was made.
inline constexpr std::u16string_view kDocumentOutcomeUnknown =
    u"Результат документа неизвестен: документ мог быть сформирован, проверьте ККТ перед "
    u"повтором";
// Log lines of a document of unknown outcome; the operation's name follows.
inline constexpr std::u16string_view kPendingKept = u"Результат документа неизвестен, записан: ";
inline constexpr std::u16string_view kPendingNotSaved =
    u"Запись о документе с неизвестным результатом не сохранена: ";
inline constexpr std::u16string_view kPendingMade =
    u"Документ с неизвестным результатом сформирован ККТ: ";
inline constexpr std::u16string_view kPendingNotMade =
    u"Документ с неизвестным результатом не сформирован ККТ: ";
// The file of that record in the data folder, after the driver's name.
inline constexpr std::u16string_view kPendingFileSuffix = u"_pending.txt";
// The driver's folder and the stem of its log file names.
inline constexpr std::u16string_view kDriverName = u"fr_norvane1c83";

}  // namespace fr::driver_texts
