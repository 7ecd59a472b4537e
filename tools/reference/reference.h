#pragma once
// The methods, properties and settings reference, written from the driver's own
// tables: the method table and the setting table of a driver object, and the
// parameter table the platform shows. Built with the component, so the two
// cannot part.

#include <cstdint>
#include <string>
#include <vector>

namespace fr::reference {

struct TMethodEntry {
    std::u16string Name, Alias;
    int32_t ParamsCount = 0;
    bool Only77 = false;  // present only on a 7.7 host
};

struct TSettingEntry {
    std::u16string ID, Alias, TypeName, Default, Name, Description;
};

// One Parameter element of the platform's parameter table.
struct TTableEntry {
    std::string Name, Caption, TypeValue, DefaultValue, Page;
    bool ReadOnly = false;
    std::vector<std::string> Choices;  // "value label" pairs, in order
};

struct TTables {
    std::vector<TMethodEntry> Methods;
    std::vector<TSettingEntry> Settings;
    std::vector<TTableEntry> Table;
};

enum class TLanguage { Russian, English };

// The driver's tables as a fresh driver object holds them on an 8.x host and
// on a 7.7 host, and the parameter table as the module carries it.
TTables ReadTables();

// The parameter table's XML text, parsed.
std::vector<TTableEntry> ParseParameterTable(const std::string& xml);

// The reference in Markdown. Every method of the tables must have its
// parameters described, by as many elements as it takes, and every described
// method must exist: otherwise the text is empty and `problems` says why.
std::string WriteReference(const TTables& tables, TLanguage language,
                           std::vector<std::string>& problems);

}  // namespace fr::reference
