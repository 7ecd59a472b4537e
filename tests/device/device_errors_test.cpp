// The error catalogue and the command table.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <set>

#include "device/command_table.h"
#include "device/device_errors.h"

namespace fr {
namespace {

TEST(DeviceErrorCatalogueTest, AnswerCodes) {
    struct Case {
        uint8_t code;
        std::u16string text;
    };
    const Case cases[] = {
        {0x01, u"Функция невыполнима при данном статусе ККМ"},
        {0x0B, u"Разница во времени ККМ и указанного в команде начала работы больше 8 минут"},
        {0x12, u"Ошибка посылки данных в ОФД"},
        {0x13, u"Неизвестная ошибка - (19)"},
        {0x1F, u"Неизвестная ошибка - (31)"},
        {0x21, u"Нет свободного места в фискальной памяти ККМ"},
        {0x44, u"Ошибка КС (Криптографического сопроцессора) в составе ФН"},
        {0x53, u"Неизвестная ошибка - (83)"},
        {0x55,
         u"Время нахождения в очереди самого старого сообщения на выдачу более 30 календарных "
         u"дней."},
        {0x57,
         u"Разница более чем на 5 минут отличается от разницы, определенной по "
         u"внутреннему таймеру ФН"},
        {0x63, u"Слишком длинная команда для посылки в ФН"},
        {0x64, u"Неизвестная ошибка - (100)"},
        {0xFE, u"Неизвестная ошибка - (254)"},
        {0xFF, u"Ошибка протокола обмена"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AnswerErrorText(c.code), c.text) << int(c.code);
}

TEST(DeviceErrorCatalogueTest, AnswerTableHoldsItsFortyThreeCodes) {
    int known = 0;
    for (int code = 1; code <= 0xFF; ++code) {
        const std::u16string text = AnswerErrorText(static_cast<uint8_t>(code));
        if (text.rfind(u"Неизвестная ошибка", 0) != 0) ++known;
        // Only code 0x55 ends with a full stop.
        EXPECT_EQ(text.back() == u'.', code == 0x55) << code;
    }
    EXPECT_EQ(known, 43);
}

TEST(DeviceErrorCatalogueTest, ExtendedCodes) {
    struct Case {
        int32_t code;
        std::u16string text;
    };
    const Case cases[] = {
        {-1, u"Неизвестная ошибка (-1)"},
        {0, u"Ошибок не было"},
        {1, u"Не была вызвана функция “Начало работы”"},
        {6, u"Неизвестная ошибка (6)"},
        {20, u"Смена не открыта"},
        {31, u"Неизвестная ошибка (31)"},
        {36, u"Неизвестная ошибка (36)"},
        {40, u"Неверный параметр \"Тип документа\""},
        {61, u"Неверный параметр \"Режим работы\""},
        {69, u"Введённый тип маркировки не поддерживается"},
        {73, u"Неверный параметр \"Значение дополнительного реквизита пользователя\""},
        {74, u"Неизвестная ошибка (74)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExtendedErrorText(c.code), c.text) << c.code;
}

TEST(DeviceErrorCatalogueTest, ExtendedTableHoldsItsSixtySixCodes) {
    int known = 0;
    for (int code = -5; code <= 300; ++code)
        if (ExtendedErrorText(code).rfind(u"Неизвестная ошибка", 0) != 0) ++known;
    EXPECT_EQ(known, 66);
}

TEST(DeviceCommandTableTest, CodesAreUniqueTwoDigitsWithKnownTimeouts) {
    std::set<std::string_view> codes;
    for (int i = 0; i < static_cast<int>(TDeviceCommand::dcCount); ++i) {
        const TCommandInfo& info = CommandInfo(static_cast<TDeviceCommand>(i));
        EXPECT_EQ(static_cast<int>(info.Id), i);
        ASSERT_EQ(info.Code.size(), 2u) << info.Name;
        EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(info.Code[0])) &&
                    std::isdigit(static_cast<unsigned char>(info.Code[1])))
            << info.Name;
        EXPECT_TRUE(info.Timeout == 15000 || info.Timeout == 88000) << info.Name;
        EXPECT_TRUE(codes.insert(info.Code).second) << info.Code;
    }
    EXPECT_EQ(codes.size(), 41u);
}

TEST(DeviceCommandTableTest, LongTimeoutsBelongToReportsAndRegistration) {
    std::set<std::string_view> longOnes;
    for (int i = 0; i < static_cast<int>(TDeviceCommand::dcCount); ++i) {
        const TCommandInfo& info = CommandInfo(static_cast<TDeviceCommand>(i));
        if (info.Timeout == 88000) longOnes.insert(info.Code);
    }
    EXPECT_EQ(longOnes, (std::set<std::string_view>{"20", "21", "59", "60", "73", "76", "94"}));
}

}  // namespace
}  // namespace fr
