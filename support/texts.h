#pragma once
// Every fixed text the component shows a user or writes to its log, each once.
// A text that is completed at run time ends where the completion is appended.
// Texts keyed by a code live in their catalogues (support/equipment_errors.cpp,
// device/answer_errors.cpp, device/extended_errors.cpp,
// transport/socket_results.cpp), which take a text from here where they share it;
// the names and captions of methods and settings live in their own tables.

#include <string_view>

namespace fr::texts {

// Results of any layer.
inline constexpr std::u16string_view kNoErrors = u"Нет ошибок";
inline constexpr std::u16string_view kUnknownError = u"Неизвестная ошибка";
// An exception of no known kind stopped at a host interface.
inline constexpr std::u16string_view kUnknownException = u"Неизвестное исключение";

// The serial port class and the links.
inline constexpr std::u16string_view kOpenPortError = u"Ошибка открытия порта";
inline constexpr std::u16string_view kWriteIncomplete = u"Не удалось записать данные в порт";
inline constexpr std::u16string_view kReadError = u"Ошибка при чтении данных из порта";
inline constexpr std::u16string_view kNoAnswer = u"Устройство не отвечает";
inline constexpr std::u16string_view kPortNotOpen = u"Порт не открыт";
inline constexpr std::u16string_view kNoDataQueued = u"Данные в буфере отсутствуют";
inline constexpr std::u16string_view kProtocolError = u"Ошибка протокола обмена";

// The register's exchange.
inline constexpr std::u16string_view kCheckSumError = u"Ошибка контрольной суммы ответа";
inline constexpr std::u16string_view kBadPassword = u"Некорректный пароль связи с ФР";
inline constexpr std::u16string_view kBadParameter = u"Неверный параметр";
inline constexpr std::u16string_view kBadLineLength =
    u"Неверная ширина строки печати: печать текста по строкам невозможна";
// The printed line of a position's discount or markup, before its sum.
inline constexpr std::u16string_view kDiscountLabel = u"Скидка";
inline constexpr std::u16string_view kMarkupLabel = u"Наценка";

// The equipment's description and parameter page.
inline constexpr std::u16string_view kEquipmentTypeKKT = u"ККТ";
inline constexpr std::u16string_view kParametersPage = u"Параметры";

// The fiscal driver.
// An operation called before the first connection.
inline constexpr std::u16string_view kNotConnected =
    u"Нет подключения к ККТ: метод Open ещё не вызывался";
inline constexpr std::u16string_view kShiftOpen = u"Смена открыта";
inline constexpr std::u16string_view kInsufficientCash = u"Недостаточно средств в кассе";
inline constexpr std::u16string_view kNoCorrectionParameters =
    u"В пакете чека коррекции нет элемента Parameters";
inline constexpr std::u16string_view kNoCorrectionPayments =
    u"В пакете чека коррекции нет элемента Payments";
inline constexpr std::u16string_view kWrongDocumentRoot =
    u"Корневой элемент пакета документа должен называться Document";
// Log lines of a document command whose answer was lost: what the register
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
// The host's repeat of that very document, answered from the register's records
// without making it again.
inline constexpr std::u16string_view kPendingRepeatAnswered =
    u"Повтор документа, сформированного ККТ, выполнен без печати: ";
// A record the driver could not have written (another owner, writable by others,
// another register, a document older than the record): ignored. Why follows.
inline constexpr std::u16string_view kPendingIgnored =
    u"Запись о документе с неизвестным результатом не принята: ";
// The host's text when the register made the document and only its data could not
// be read; the number and kDocumentMadeUnreadTail follow.
inline constexpr std::u16string_view kDocumentMadeUnread = u"Документ сформирован ККТ (ФД ";
inline constexpr std::u16string_view kDocumentMadeUnreadTail =
    u"), но его данные не прочитаны: повторите тот же вызов, чтобы получить их";

// The Native API adapter: what could not cross to the platform. "Параметр N"
// comes first; the value's type code follows kParameterTypeUnsupported.
inline constexpr std::u16string_view kParameter = u"Параметр ";
inline constexpr std::u16string_view kParameterTypeUnsupported = u": тип значения ";
inline constexpr std::u16string_view kNotSupportedTail = u" не поддерживается";
inline constexpr std::u16string_view kParameterNotReturned = u": значение не передано платформе";
inline constexpr std::u16string_view kResultNotReturned = u"Результат метода не передан платформе";

// Folders and the XML layer.
inline constexpr std::u16string_view kNoCommonDataFolder =
    u"Не удалось получить папку общих данных приложений";
inline constexpr std::u16string_view kNoLogFolder =
    u"Не удалось получить папку общих данных приложений для журнала";
inline constexpr std::u16string_view kXmlEmptyNode = u"Операция с пустым узлом XML: ";
inline constexpr std::u16string_view kXmlBadName = u"Недопустимое имя XML: ";
inline constexpr std::u16string_view kXmlParseError = u"Ошибка разбора XML: ";
inline constexpr std::u16string_view kXmlParsePosition = u" (позиция ";
inline constexpr std::u16string_view kXmlSecondRoot = u"Документ XML уже содержит корневой элемент";
inline constexpr std::u16string_view kXmlNoElements = u"Узел XML не может содержать элементы";
inline constexpr std::u16string_view kXmlIndexOutOfRange =
    u"Индекс узла XML вне допустимого диапазона: ";
inline constexpr std::u16string_view kXmlNotElement = u"Узел XML не является элементом";

}  // namespace fr::texts
