#pragma once
// The texts the serial port class and the links report.

namespace fr {

// Serial port class.
inline constexpr char16_t kTextOpenPortError[] = u"Ошибка открытия порта";
inline constexpr char16_t kTextWriteIncomplete[] = u"Не удалось записать данные в порт";
inline constexpr char16_t kTextReadError[] = u"Ошибка при чтении данных из порта";
inline constexpr char16_t kTextNoAnswer[] = u"Устройство не отвечает";
inline constexpr char16_t kTextPortNotOpen[] = u"Порт не открыт";
inline constexpr char16_t kTextNoDataQueued[] = u"Данные в буфере отсутствуют";
inline constexpr char16_t kTextProtocolError[] = u"Ошибка протокола обмена";

}  // namespace fr
