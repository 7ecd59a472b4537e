#include "tools/fremu/register_state.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tools/fremu/os_seam.h"

namespace fr::emu {

TRegisterState MakeFactoryState(std::time_t ANow, bool ARegistered) {
    TRegisterState s;
    s.Registered = ARegistered;
    s.Tables = {{"30.0", "ООО \"Эмулятор\""},
                {"30.1", ""},
                {"30.2", "г. Москва, ул. Тестовая, д. 1"},
                {"30.3", ""},
                {"70.0", ""},
                {"71.0", "7709999999"},
                {"81.0", "ООО \"Оператор данных\""},
                {"82.0", "kassa@example.ru"},
                {"83.0", "www.nalog.gov.ru"},
                {"85.0", "Торговый зал"}};
    if (ARegistered) {
        s.RegDate = ANow;
        s.LastDocNumber = 1;
        s.RegistrationDocNumber = 1;
        s.Documents.push_back({1, ANow, 0x5A17E0D1u, "registration", true});
    } else {
        for (auto& [key, value] : s.Tables)
            value.clear();
    }
    return s;
}

nlohmann::json StateToJson(const TRegisterState& s) {
    nlohmann::json docs = nlohmann::json::array();
    for (const auto& d : s.Documents)
        docs.push_back({{"number", d.Number},
                        {"time", static_cast<int64_t>(d.Time)},
                        {"fiscal_sign", d.FiscalSign},
                        {"kind", d.Kind},
                        {"sent", d.Sent}});
    return {{"serial_number", s.SerialNumber},
            {"firmware_id", s.FirmwareId},
            {"firmware_type", s.FirmwareType},
            {"inn", s.Inn},
            {"reg_number", s.RegNumber},
            {"reg_date", static_cast<int64_t>(s.RegDate)},
            {"fn_serial", s.FnSerial},
            {"registered", s.Registered},
            {"fn_closed", s.FnClosed},
            {"registration_doc_number", s.RegistrationDocNumber},
            {"tax_systems", s.TaxSystems},
            {"work_mode", s.WorkMode},
            {"lottery", s.Lottery},
            {"printer_automatic", s.PrinterAutomatic},
            {"ffd_kkt", s.FfdKkt},
            {"ffd_fn", s.FfdFn},
            {"fn_flags", s.FnFlags},
            {"ofd_online", s.OfdOnline},
            {"tables", s.Tables},
            {"last_doc_number", s.LastDocNumber},
            {"shift_number", s.ShiftNumber},
            {"shift_open", s.ShiftOpen},
            {"shift_opened_at", static_cast<int64_t>(s.ShiftOpenedAt)},
            {"checks_in_shift", s.ChecksInShift},
            {"cash", s.Cash},
            {"clock_offset", s.ClockOffset},
            {"documents", docs}};
}

TRegisterState StateFromJson(const nlohmann::json& j) {
    try {
        TRegisterState s;
        s.SerialNumber = j.at("serial_number").get<std::string>();
        s.FirmwareId = j.at("firmware_id").get<int>();
        s.FirmwareType = j.at("firmware_type").get<std::string>();
        s.Inn = j.at("inn").get<std::string>();
        s.RegNumber = j.at("reg_number").get<std::string>();
        s.RegDate = j.at("reg_date").get<int64_t>();
        s.FnSerial = j.at("fn_serial").get<std::string>();
        s.Registered = j.at("registered").get<bool>();
        s.FnClosed = j.at("fn_closed").get<bool>();
        s.RegistrationDocNumber = j.at("registration_doc_number").get<uint32_t>();
        s.TaxSystems = j.at("tax_systems").get<uint8_t>();
        s.WorkMode = j.at("work_mode").get<uint16_t>();
        s.Lottery = j.at("lottery").get<bool>();
        s.PrinterAutomatic = j.at("printer_automatic").get<bool>();
        s.FfdKkt = j.at("ffd_kkt").get<int>();
        s.FfdFn = j.at("ffd_fn").get<int>();
        s.FnFlags = j.at("fn_flags").get<uint8_t>();
        s.OfdOnline = j.at("ofd_online").get<bool>();
        s.Tables = j.at("tables").get<std::map<std::string, std::string>>();
        s.LastDocNumber = j.at("last_doc_number").get<uint32_t>();
        s.ShiftNumber = j.at("shift_number").get<uint32_t>();
        s.ShiftOpen = j.at("shift_open").get<bool>();
        s.ShiftOpenedAt = j.at("shift_opened_at").get<int64_t>();
        s.ChecksInShift = j.at("checks_in_shift").get<uint32_t>();
        s.Cash = j.at("cash").get<int64_t>();
        s.ClockOffset = j.at("clock_offset").get<int64_t>();
        for (const auto& d : j.at("documents"))
            s.Documents.push_back({d.at("number").get<uint32_t>(),
                                   static_cast<std::time_t>(d.at("time").get<int64_t>()),
                                   d.at("fiscal_sign").get<uint32_t>(),
                                   d.at("kind").get<std::string>(), d.at("sent").get<bool>()});
        return s;
    } catch (const nlohmann::json::exception& e) {
        throw std::runtime_error(std::string("malformed state: ") + e.what());
    }
}

bool LoadStateFile(const std::string& APath, TRegisterState& AState) {
    std::ifstream in(APath, std::ios::binary);
    if (!in) {
        if (errno == ENOENT) return false;
        throw std::runtime_error("cannot read the state file " + APath + ": " +
                                 std::strerror(errno));
    }
    std::stringstream text;
    text << in.rdbuf();
    nlohmann::json j;
    try {
        j = nlohmann::json::parse(text.str());
    } catch (const nlohmann::json::exception& e) {
        throw std::runtime_error("the state file " + APath + " is not JSON: " + e.what());
    }
    AState = StateFromJson(j);
    return true;
}

void SaveStateFile(const std::string& APath, const std::string& AText) {
    os::ReplaceWhole(APath, AText);
}

}  // namespace fr::emu
