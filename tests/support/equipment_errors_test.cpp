#include "support/equipment_errors.h"

#include <gtest/gtest.h>

#include <string>

namespace fr {
namespace {

TEST(SupportEquipmentErrorsTest, TextRules) {
    struct Case {
        int32_t code;
        std::u16string description, fallback, expected;
    };
    const Case cases[] = {
        {0, u"", u"", u"Нет ошибок"},
        // The description only wins for non-zero codes.
        {0, u"stored", u"", u"Нет ошибок"},
        {1004, u"", u"", u"Ошибка входных параметров команды"},
        {1004, u"", u"other", u"Ошибка входных параметров команды"},
        {3016, u"", u"", u"Неизвестная ошибка"},
        {3016, u"", u"fallback", u"fallback"},
        {1021, u"", u"", u"Неизвестная ошибка"},
        {99050, u"", u"", u"Неизвестная ошибка"},
        {-1, u"", u"", u"Неизвестная ошибка"},
        // A register failure stores its own description with code 0x46.
        {0x46, u"[46] - Нет бумаги", u"", u"[46] - Нет бумаги"},
        {0x46, u"", u"", u"Устройство не включено"},
        {74, u"", u"", u"Истек таймаут ожидания"},
        {1001, u"", u"", u"Неизвестная ошибка"},
        {3010, u"", u"", u"Налоговая группа вне допустимого диапазона"},
        {3025, u"", u"", u"Недопустимо сочетание налогов 20% и 18% в одном документе"},
        {16002, u"", u"", u"Кофемашина в сосотояни ожидания запроса на приготовление продукта"},
        {99001, u"", u"", u"Ошибок нет"},
        {99107, u"", u"",
         u"Ошибка команды, либо команда не поддерживается данным устройством, либо переданны "
         u"некорректные данные"},
        {99115, u"", u"",
         u"Специфичная для данного класса устройств ошибка. Расширенная информация в "
         u"дополнительном описании ошибки"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EquipmentErrorText(c.code, c.description, c.fallback), c.expected)
            << "code " << c.code;
    }
}

TEST(SupportEquipmentErrorsTest, CatalogueHasExactlyItsRows) {
    int rows = 0;
    for (int32_t code = -10; code <= 100000; ++code) {
        if (CatalogueText(code)) ++rows;
    }
    EXPECT_EQ(rows, 91);
    EXPECT_FALSE(CatalogueText(3016));
    EXPECT_FALSE(CatalogueText(99002));
    EXPECT_FALSE(CatalogueText(99101));
    EXPECT_EQ(CatalogueText(2001), u"Буфер данных пуст");
    EXPECT_EQ(CatalogueText(8001), u"Буфер данных пуст");
}

TEST(SupportEquipmentErrorsTest, CommonRanges) {
    struct Case {
        int32_t code;
        bool common;
    };
    const Case cases[] = {
        {-1, false},    {0, true},      {1, true},     {255, true},   {1000, true},
        {1001, false},  {1002, true},   {1999, true},  {2000, false}, {2001, true},
        {2500, true},   {2501, false},  {3000, false}, {3001, true},  {3500, true},
        {3501, false},  {4001, true},   {4500, true},  {4501, false}, {6001, false},
        {7000, false},  {7001, true},   {7500, true},  {8001, true},  {8500, true},
        {8501, false},  {11000, false}, {11001, true}, {11500, true}, {11501, false},
        {12001, false}, {99000, false}, {99001, true}, {99500, true}, {99501, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsCommonResultCode(c.code), c.common) << "code " << c.code;
    }
}

}  // namespace
}  // namespace fr
