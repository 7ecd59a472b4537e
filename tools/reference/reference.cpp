#include "tools/reference/reference.h"

#include <pugixml.hpp>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "driver/driver_registry.h"
#include "host/add_in_object.h"
#include "host/base_driver.h"
#include "host/value_conversions.h"
#include "platform/module.h"
#include "platform/text.h"
#include "platform/variant_convert.h"
#include "resources/resources.h"

namespace fr::reference {
namespace {

enum TDirection { dIn, dOut, dUnused };

struct TParamDoc {
    TDirection Direction;
    const char* TypeRu;
    const char* TypeEn;
    const char* Ru;
    const char* En;
};

struct TMethodDoc {
    const char* Method;  // the English name
    const char* ReturnRu;
    const char* ReturnEn;
    const char* WhatRu;
    const char* WhatEn;
    std::vector<TParamDoc> Params;
};

const TParamDoc kDeviceId{dUnused, "строка", "string", "идентификатор устройства (не читается)",
                          "device identifier (not read)"};
const TParamDoc kInputParameters{dIn, "XML", "XML",
                                 "входные параметры: `<InputParameters><Parameters "
                                 "CashierName=\"…\" CashierVATIN=\"…\"/></InputParameters>`",
                                 "input parameters: `<InputParameters><Parameters "
                                 "CashierName=\"…\" CashierVATIN=\"…\"/></InputParameters>`"};
constexpr const char* kOkRu = "Булево: Истина при успехе; иначе `ПолучитьОшибку`";
constexpr const char* kOkEn = "Boolean: true on success; otherwise call `GetLastError`";

// What the method table cannot say: each method's elements, in and out.
const std::vector<TMethodDoc>& MethodDocs() {
    static const std::vector<TMethodDoc> docs = {
        {"ShowSettingsDlg",
         "Булево: всегда Ложь (своей формы настроек нет)",
         "Boolean: always false (no settings form of its own)",
         "Форма настроек компоненты; настройки задаёт форма платформы",
         "The component's settings form; the platform's form sets the settings",
         {}},
        {"GetVersion",
         "Строка: версия файла компоненты, четыре числа через точку",
         "String: the component file's version, four numbers joined by points",
         "Версия установленной компоненты",
         "The installed component's version",
         {}},
        {"ReadSettings",
         "—",
         "—",
         "Прочитать настройки из файла `<DeviceID>.sts`",
         "Read the settings from the file `<DeviceID>.sts`",
         {}},
        {"SaveSettings",
         "—",
         "—",
         "Записать настройки в файл `<DeviceID>.sts`",
         "Write the settings to the file `<DeviceID>.sts`",
         {}},
        {"SetDeviceID",
         "не меняется",
         "left as it is",
         "Задать идентификатор устройства (имя файла настроек)",
         "Set the device identifier (the settings file's name)",
         {{dIn, "строка", "string", "идентификатор устройства", "device identifier"}}},
        {"GetDescription",
         kOkRu,
         kOkEn,
         "Описание драйвера",
         "The driver's description",
         {{dOut, "строка", "string", "наименование", "name"},
          {dOut, "строка", "string", "описание", "description"},
          {dOut, "строка", "string", "тип оборудования", "equipment type"},
          {dOut, "целое", "integer", "ревизия интерфейса (2002)", "interface revision (2002)"},
          {dOut, "булево", "Boolean", "интеграционная библиотека", "integration library"},
          {dOut, "булево", "Boolean", "основной драйвер установлен", "main driver installed"},
          {dOut, "строка", "string", "адрес загрузки", "download URL"}}},
        {"GetLastError",
         "Целое: код результата последнего метода (0 — нет ошибок)",
         "Integer: the last method's result code (0: no error)",
         "Код и текст результата последнего метода",
         "The last method's result code and text",
         {{dOut, "строка", "string", "текст результата, уже с кодом: «[код] - текст»",
           "the result text, the code already in it: \"[code] - text\""}}},
        {"GetParameters",
         kOkRu,
         kOkEn,
         "Таблица параметров для формы настроек платформы",
         "The parameter table for the platform's settings form",
         {{dOut, "строка", "string", "таблица параметров (XML, см. ниже)",
           "the parameter table (XML, below)"}}},
        {"SetParameter",
         kOkRu,
         kOkEn,
         "Задать настройку (неизвестное имя пропускается)",
         "Set a setting (an unknown name is ignored)",
         {{dIn, "строка", "string", "имя настройки", "setting name"},
          {dIn, "любой", "any", "значение", "value"}}},
        {"Open",
         kOkRu,
         kOkEn,
         "Подключиться к ККТ",
         "Connect to the register",
         {{dOut, "строка", "string", "идентификатор устройства (всегда \"0\")",
           "device identifier (always \"0\")"}}},
        {"Close", kOkRu, kOkEn, "Отключиться от ККТ", "Disconnect from the register", {kDeviceId}},
        {"GetAdditionalActions",
         kOkRu,
         kOkEn,
         "Список дополнительных действий (пустой)",
         "The list of additional actions (empty)",
         {{dOut, "строка", "string", "действия (пустая строка)", "actions (empty text)"}}},
        {"DoAdditionalAction",
         kOkRu,
         kOkEn,
         "Выполнить дополнительное действие (известно одно: `ShowSettingsDlg`)",
         "Run an additional action (one is known: `ShowSettingsDlg`)",
         {{dIn, "строка", "string", "имя действия", "action name"}}},
        {"DeviceTest",
         kOkRu,
         kOkEn,
         "Проверка связи: подключиться, прочитать данные ККТ, отключиться",
         "Connection test: connect, read the register's data, disconnect",
         {{dOut, "строка", "string", "результат проверки (текст)", "test result (text)"},
          {dOut, "строка", "string", "действия демо-режима (пустая строка)",
           "demo mode actions (empty text)"}}},
        {"GetDataKKT",
         kOkRu,
         kOkEn,
         "Регистрационные данные ККТ",
         "The register's registration data",
         {kDeviceId,
          {dOut, "строка", "string", "таблица параметров ККТ (XML)",
           "table of register parameters (XML)"}}},
        {"PrintTextDocument",
         kOkRu,
         kOkEn,
         "Нефискальный текстовый документ",
         "Non-fiscal text document",
         {kDeviceId,
          {dIn, "строка", "string", "пакет документа (XML, `examples/text_document.xml`)",
           "document package (XML, `examples/text_document.xml`)"}}},
        {"ProcessCorrectionCheck",
         kOkRu,
         kOkEn,
         "Чек коррекции",
         "Correction receipt",
         {kDeviceId,
          {dIn, "строка", "string", "пакет чека коррекции (XML, `examples/correction.xml`)",
           "correction package (XML, `examples/correction.xml`)"},
          {dOut, "число", "number", "номер чека", "check number"},
          {dOut, "число", "number", "номер смены", "shift number"},
          {dOut, "строка", "string", "фискальный признак", "fiscal sign"},
          {dOut, "строка", "string", "адрес сайта ФНС", "tax authority site"}}},
        {"ProcessCheck",
         kOkRu,
         kOkEn,
         "Фискальный чек",
         "Fiscal receipt",
         {kDeviceId,
          {dIn, "булево", "Boolean", "электронно (без печати)", "electronically (no paper)"},
          {dIn, "строка", "string", "пакет чека (XML, `examples/check.xml`)",
           "check package (XML, `examples/check.xml`)"},
          {dOut, "число", "number", "номер чека", "check number"},
          {dOut, "число", "number", "номер смены", "shift number"},
          {dOut, "строка", "string", "фискальный признак", "fiscal sign"},
          {dOut, "строка", "string", "адрес сайта ФНС", "tax authority site"}}},
        {"OperationFN",
         kOkRu,
         kOkEn,
         "Регистрация, перерегистрация, закрытие ФН",
         "Registration, re-registration, closing the fiscal storage",
         {kDeviceId,
          {dIn, "целое", "integer", "тип операции (3 — закрытие ФН)",
           "operation type (3: close the fiscal storage)"},
          {dIn, "строка", "string", "фискальные параметры (XML, `examples/fiscal_parameters.xml`)",
           "fiscal parameters (XML, `examples/fiscal_parameters.xml`)"}}},
        {"OpenShift",
         kOkRu,
         kOkEn,
         "Открыть смену",
         "Open a shift",
         {kDeviceId,
          kInputParameters,
          {dOut, "строка", "string", "выходные параметры (XML)", "output parameters (XML)"},
          {dOut, "число", "number", "номер смены", "shift number"},
          {dOut, "число", "number", "номер документа", "document number"}}},
        {"CloseShift",
         kOkRu,
         kOkEn,
         "Закрыть смену (Z-отчёт)",
         "Close the shift (Z report)",
         {kDeviceId,
          kInputParameters,
          {dOut, "строка", "string", "выходные параметры (XML)", "output parameters (XML)"},
          {dOut, "число", "number", "номер смены", "shift number"},
          {dOut, "число", "number", "номер документа", "document number"}}},
        {"CashInOutcome",
         kOkRu,
         kOkEn,
         "Внесение (сумма > 0) или выемка (сумма < 0)",
         "Cash in (amount > 0) or cash out (amount < 0)",
         {kDeviceId, kInputParameters, {dIn, "число", "number", "сумма", "amount"}}},
        {"PrintXReport", kOkRu, kOkEn, "X-отчёт", "X report", {kDeviceId, kInputParameters}},
        {"ReportCurrentStatusOfSettlements",
         kOkRu,
         kOkEn,
         "Отчёт о текущем состоянии расчётов",
         "Settlement status report",
         {kDeviceId,
          kInputParameters,
          {dOut, "строка", "string", "выходные параметры (XML)", "output parameters (XML)"}}},
        {"GetCurrentStatus",
         kOkRu,
         kOkEn,
         "Состояние ККТ и смены",
         "The register's and the shift's state",
         {kDeviceId,
          {dOut, "число", "number", "номер чека", "check number"},
          {dOut, "число", "number", "номер смены", "shift number"},
          {dOut, "целое", "integer", "смена: 1 закрыта, 2 открыта, 3 открыта дольше 24 часов",
           "shift: 1 closed, 2 open, 3 open longer than 24 hours"},
          {dOut, "строка", "string", "параметры состояния (XML)", "status parameters (XML)"}}},
        {"OpenCashDrawer",
         kOkRu,
         kOkEn,
         "Открыть денежный ящик",
         "Open the cash drawer",
         {kDeviceId}},
        {"GetLineLength",
         kOkRu,
         kOkEn,
         "Ширина строки в символах",
         "The line width in characters",
         {kDeviceId, {dOut, "целое", "integer", "ширина строки", "line width"}}},
    };
    return docs;
}

struct TSettingNote {
    const char* Ru;
    const char* En;
};

// Why a setting is there, in a user's words.
const std::map<std::string, TSettingNote>& SettingNotes() {
    static const std::map<std::string, TSettingNote> notes = {
        {"DebugLogEnabled",
         {"Истина: в лог пишутся все типы сообщений (INFO, DEBUG, ERROR). В форме платформы "
          "не показывается",
          "true: the log takes every message type (INFO, DEBUG, ERROR). Not shown in the "
          "platform's form"}},
        {"CutString",
         {"Строка текстового документа, по которой ККТ отрезает бумагу (обычно `[cut]`); "
          "пустая — не резать. В форме платформы не показывается",
          "The text document line at which the register cuts the paper (usually `[cut]`); "
          "empty: no cut. Not shown in the platform's form"}},
        {"IPPort",
         {"TCP-порт ККТ, когда `PortNumber` = 9999. Своё значение по умолчанию у драйвера и у "
          "формы платформы: задавайте порт явно",
          "The register's TCP port when `PortNumber` is 9999. The driver and the platform's "
          "form have different defaults: set the port explicitly"}},
        {"IPAddress",
         {"IP-адрес ККТ, когда `PortNumber` = 9999",
          "The register's IP address "
          "when `PortNumber` is 9999"}},
        {"ConnectionPassword",
         {"Пароль связи с ККТ (4 символа), уходит в каждом кадре; ККТ с другим паролем отвечает "
          "ошибкой 06. Заводской пароль ККТ — KVMT",
          "The register's connection password (4 characters), sent in every frame; a register "
          "with another password answers error 06. The register's factory password is KVMT"}},
        {"PortNumber",
         {"Номер COM-порта (1–128) или 9999 для TCP/IP",
          "COM port number (1-128), or 9999 for "
          "TCP/IP"}},
        {"BaudRate", {"Скорость COM-порта", "The COM port's speed"}},
        {"FontNumber", {"Шрифт печати чеков (0 или 1)", "The receipts' print font (0 or 1)"}},
        {"LogRetentionDays",
         {"Сколько дней хранить файлы лога; более старые удаляются, 0 — хранить все",
          "How many days the log files are kept; older ones are removed, 0 keeps all"}},
        {"WriteLog",
         {"Истина: лог вызовов, операций и байтов обмена с ККТ (включается при каждом "
          "подключении). Форма платформы предлагает Истина, сам драйвер — Ложь",
          "true: the log of calls, operations and the bytes exchanged with the register "
          "(switched on at each connection). The platform's form offers true, the driver "
          "alone false"}},
    };
    return notes;
}

std::string U8(const std::u16string& text) {
    return Utf16ToUtf8(text);
}

std::string Cell(std::string text) {
    for (size_t i = 0; (i = text.find('|', i)) != std::string::npos; i += 2)
        text.replace(i, 1, "\\|");
    return text;
}

std::string Code(const std::string& text) {
    return text.empty() ? std::string("—") : "`" + text + "`";
}

std::vector<TMethodEntry> MethodsOn(const char16_t* hostPath) {
    SetHostExecutablePathOverride(hostPath);
    std::unique_ptr<TBaseDriver> driver = CreateDriverByClassName(kDriverClassName);
    SetHostExecutablePathOverride(u"");
    std::vector<TMethodEntry> methods;
    if (!driver) return methods;
    for (int32_t i = 0; i < driver->MethsCount(); ++i) {
        const PMethodStruct m = driver->MethodList(i);
        methods.push_back({m->Name, m->Alias, m->ParamsCount, false});
    }
    return methods;
}

std::string EnglishName(const TMethodEntry& m) {
    // The English name is whichever of the two is Latin.
    const std::string name = U8(m.Name);
    return !name.empty() && static_cast<unsigned char>(name[0]) < 0x80 ? name : U8(m.Alias);
}

std::string RussianName(const TMethodEntry& m) {
    const std::string english = EnglishName(m);
    return U8(m.Name) == english ? U8(m.Alias) : U8(m.Name);
}

}  // namespace

std::vector<TTableEntry> ParseParameterTable(const std::string& xml) {
    std::vector<TTableEntry> entries;
    pugi::xml_document doc;
    if (!doc.load_string(xml.c_str())) return entries;
    for (pugi::xml_node page : doc.child("Settings").children("Page")) {
        for (pugi::xpath_node p : page.select_nodes(".//Parameter")) {
            const pugi::xml_node node = p.node();
            TTableEntry entry;
            entry.Name = node.attribute("Name").value();
            entry.Caption = node.attribute("Caption").value();
            entry.TypeValue = node.attribute("TypeValue").value();
            entry.DefaultValue = node.attribute("DefaultValue").value();
            entry.ReadOnly = node.attribute("ReadOnly").as_bool();
            entry.Page = page.attribute("Caption").value();
            for (pugi::xml_node item : node.child("ChoiceList").children("Item")) {
                const std::string value = item.attribute("Value").value();
                const std::string label = item.text().get();
                entry.Choices.push_back(label == value ? value : value + " " + label);
            }
            entries.push_back(entry);
        }
    }
    return entries;
}

TTables ReadTables() {
    RegisterDriverClasses();
    TTables tables;
    const std::vector<TMethodEntry> on8 = MethodsOn(u"C:\\1cv8.exe");
    const std::vector<TMethodEntry> on77 = MethodsOn(u"C:\\1cv7s.exe");
    std::set<std::u16string> names8;
    for (const TMethodEntry& m : on8)
        names8.insert(m.Name);
    for (TMethodEntry m : on77) {
        m.Only77 = names8.count(m.Name) == 0;
        tables.Methods.push_back(m);
    }
    SetHostExecutablePathOverride(u"C:\\1cv8.exe");
    std::unique_ptr<TBaseDriver> driver = CreateDriverByClassName(kDriverClassName);
    SetHostExecutablePathOverride(u"");
    if (driver) {
        for (int32_t i = 0; i < driver->SettingsCount(); ++i) {
            const PSettingStruct s = driver->Settings(i);
            const Variant& d = s->Default.Deref();
            const std::u16string value = d.BaseType() == vtBoolean
                                             ? std::u16string(d.BoolValue() ? u"true" : u"false")
                                             : VarToStr(d);
            tables.Settings.push_back(
                {s->ID, s->Alias, DataTypeName(s->ValueType), value, s->Name, s->Description});
        }
    }
    std::string xml;
    if (FindResourceData(u"TableParameters", xml)) {
        if (xml.rfind("\xEF\xBB\xBF", 0) == 0) xml.erase(0, 3);
        tables.Table = ParseParameterTable(xml);
    }
    return tables;
}

std::string WriteReference(const TTables& tables, TLanguage language,
                           std::vector<std::string>& problems) {
    const bool ru = language == TLanguage::Russian;
    auto t = [ru](const char* r, const char* e) { return std::string(ru ? r : e); };
    std::map<std::string, const TMethodDoc*> docs;
    for (const TMethodDoc& d : MethodDocs())
        docs[d.Method] = &d;
    std::set<std::string> seen;
    for (const TMethodEntry& m : tables.Methods) {
        const std::string english = EnglishName(m);
        seen.insert(english);
        const auto it = docs.find(english);
        if (it == docs.end())
            problems.push_back("method " + english + " has no parameter description");
        else if (static_cast<int32_t>(it->second->Params.size()) != m.ParamsCount)
            problems.push_back("method " + english + " takes " + std::to_string(m.ParamsCount) +
                               " parameters, " + std::to_string(it->second->Params.size()) +
                               " described");
    }
    for (const auto& [name, doc] : docs)
        if (!seen.count(name)) problems.push_back("method " + name + " described but absent");
    std::map<std::string, const TTableEntry*> table;
    for (const TTableEntry& e : tables.Table)
        table[e.Name] = &e;
    for (const TSettingEntry& s : tables.Settings)
        if (!SettingNotes().count(U8(s.ID)))
            problems.push_back("setting " + U8(s.ID) + " has no note");
    if (tables.Methods.empty() || tables.Settings.empty() || tables.Table.empty())
        problems.push_back("a table is empty");
    if (!problems.empty()) return {};

    size_t always = 0;
    for (const TMethodEntry& m : tables.Methods)
        always += m.Only77 ? 0 : 1;

    std::ostringstream out;
    out << t("# fr_norvane1c83: методы, свойства и настройки\n\n",
             "# fr_norvane1c83: methods, properties and settings\n\n");
    out << t(
        "Этот файл создан при сборке из таблиц самой компоненты (таблица методов, таблица "
        "настроек, таблица параметров формы платформы) и поэтому совпадает с ней.\n\n",
        "This file is made at build time from the component's own tables (the method "
        "table, the setting table, the platform form's parameter table), so it matches "
        "the component.\n\n");

    out << t("## Методы\n\n", "## Methods\n\n");
    out << (ru ? "Методов " + std::to_string(always) + " на любой платформе и ещё " +
                     std::to_string(tables.Methods.size() - always) +
                     " только в 1С:Предприятии 7.7. Метод находится по любому из двух имён, "
                     "регистр букв не важен. Параметр 0 — первый параметр вызова.\n\n"
               : std::to_string(always) + " methods on every platform and " +
                     std::to_string(tables.Methods.size() - always) +
                     " more on 1C:Enterprise 7.7 only. A method is found by either name, in "
                     "any letter case. Parameter 0 is the call's first parameter.\n\n");
    out << t("| № | English | Русское имя | параметров | что делает |\n|---|---|---|---|---|\n",
             "| # | English | Russian name | parameters | what it does |\n|---|---|---|---|---|\n");
    for (size_t i = 0; i < tables.Methods.size(); ++i) {
        const TMethodEntry& m = tables.Methods[i];
        const TMethodDoc& d = *docs[EnglishName(m)];
        out << "| " << i + 1 << " | `" << EnglishName(m) << "` | `" << RussianName(m) << "` | "
            << m.ParamsCount << " | " << Cell(t(d.WhatRu, d.WhatEn))
            << (m.Only77 ? t(" (только 7.7)", " (7.7 only)") : "") << " |\n";
    }
    out << "\n";
    for (const TMethodEntry& m : tables.Methods) {
        const TMethodDoc& d = *docs[EnglishName(m)];
        out << "### " << EnglishName(m) << " / " << RussianName(m) << "\n\n";
        out << t(d.WhatRu, d.WhatEn) << ".";
        if (m.Only77) out << t(" Только в 1С:Предприятии 7.7.", " 1C:Enterprise 7.7 only.");
        out << t(" Возвращает: ", " Returns: ") << t(d.ReturnRu, d.ReturnEn) << ".\n\n";
        if (d.Params.empty()) {
            out << t("Без параметров.\n\n", "No parameters.\n\n");
            continue;
        }
        out << t("| параметр | направление | тип | значение |\n|---|---|---|---|\n",
                 "| parameter | direction | type | meaning |\n|---|---|---|---|\n");
        for (size_t i = 0; i < d.Params.size(); ++i) {
            const TParamDoc& p = d.Params[i];
            const std::string dir = p.Direction == dIn    ? t("вход", "in")
                                    : p.Direction == dOut ? t("выход", "out")
                                                          : "—";
            out << "| " << i << " | " << dir << " | " << t(p.TypeRu, p.TypeEn) << " | "
                << Cell(t(p.Ru, p.En)) << " |\n";
        }
        out << "\n";
    }

    out << t("## Свойства и настройки\n\n", "## Properties and settings\n\n");
    out << (ru ? "Каждая настройка — свойство компоненты (`Драйвер.PortNumber = 3`) и имя для "
                 "`УстановитьПараметр`. Свойств " +
                     std::to_string(tables.Settings.size()) +
                     ". Свойство находится по имени или по второму имени, если оно есть.\n\n"
               : "Every setting is a property of the component (`Driver.PortNumber = 3`) and a "
                 "name for `SetParameter`. There are " +
                     std::to_string(tables.Settings.size()) +
                     " properties. A property is found by its name or by its second name where "
                     "it has one.\n\n");
    out << t(
        "Два значения по умолчанию. «Драйвер»: значение, с которым создаётся компонента; "
        "его получает настройка, которую никто не задал (frhost, свой код). «Форма "
        "платформы»: значение, которое форма настроек платформы предлагает по таблице "
        "параметров (`ПолучитьПараметры`) и затем передаёт через `УстановитьПараметр`. "
        "Где они различаются, задавайте значение явно.\n\n",
        "Two defaults. \"Driver\": the value the component is created with; a setting "
        "nobody sets has it (frhost, your own code). \"Platform form\": the value the "
        "platform's settings form offers from the parameter table (`GetParameters`) and "
        "then passes through `SetParameter`. Where they differ, set the value "
        "explicitly.\n\n");
    out << t(
        "| имя | второе имя | тип | драйвер | форма платформы | подпись в форме | "
        "назначение |\n|---|---|---|---|---|---|---|\n",
        "| name | second name | type | driver | platform form | caption in the form | "
        "purpose |\n|---|---|---|---|---|---|---|\n");
    for (const TSettingEntry& s : tables.Settings) {
        const std::string id = U8(s.ID);
        const std::string alias = U8(s.Alias) == id ? std::string() : U8(s.Alias);
        const auto it = table.find(id);
        const std::string formDefault =
            it == table.end() ? t("не показывается", "not shown") : Code(it->second->DefaultValue);
        const std::string caption = it == table.end() ? "—" : it->second->Caption;
        std::string driverDefault = Code(U8(s.Default));
        if (it != table.end() && it->second->DefaultValue != U8(s.Default))
            driverDefault = "**" + driverDefault + "**";
        const TSettingNote& note = SettingNotes().at(id);
        out << "| `" << id << "` | " << Code(alias) << " | " << U8(s.TypeName) << " | "
            << driverDefault << " | " << formDefault << " | " << Cell(caption) << " | "
            << Cell(t(note.Ru, note.En)) << " |\n";
    }
    out << "\n";
    out << t("Жирным выделено значение драйвера, которое отличается от значения формы.\n\n",
             "In bold: a driver default that differs from the form's.\n\n");
    bool extra = false;
    for (const TTableEntry& e : tables.Table) {
        bool isSetting = false;
        for (const TSettingEntry& s : tables.Settings)
            isSetting = isSetting || U8(s.ID) == e.Name;
        if (isSetting) continue;
        if (!extra)
            out << t("Только в форме платформы, не настройка:\n\n",
                     "In the platform's form only, not a setting:\n\n");
        extra = true;
        out << "- `" << e.Name << "` (" << e.Caption
            << (e.ReadOnly ? t(", только чтение", ", read only") : "") << "): "
            << (e.Name == "LogDir"
                    ? t("`ПолучитьПараметры` вписывает сюда папку лога компоненты, форма "
                        "настроек платформы её показывает.",
                        "`GetParameters` writes the component's log folder here; the "
                        "platform's settings form shows it.")
                    : t("показывается формой.", "shown by the form."))
            << "\n";
    }
    if (extra) out << "\n";

    out << t("## Таблица параметров формы платформы\n\n",
             "## The platform form's parameter table\n\n");
    out << t(
        "| страница | параметр | подпись | тип | по умолчанию | выбор |\n"
        "|---|---|---|---|---|---|\n",
        "| page | parameter | caption | type | default | choices |\n"
        "|---|---|---|---|---|---|\n");
    for (const TTableEntry& e : tables.Table) {
        std::string choices;
        if (e.Choices.size() > 12)
            choices = e.Choices.front() + ", " + e.Choices[1] + " … " + e.Choices.back() + " (" +
                      std::to_string(e.Choices.size()) + ")";
        else
            for (const std::string& c : e.Choices)
                choices += (choices.empty() ? "" : ", ") + c;
        out << "| " << Cell(e.Page) << " | `" << e.Name << "` | " << Cell(e.Caption) << " | "
            << e.TypeValue << " | " << Code(e.DefaultValue) << " | " << Cell(choices) << " |\n";
    }
    return out.str();
}

}  // namespace fr::reference
