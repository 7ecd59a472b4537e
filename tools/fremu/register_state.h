#pragma once
// What the register and its fiscal storage keep across power cycles, and the
// atomic state file that carries it between runs.

#include <cstdint>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace fr::emu {

// One record of the fiscal storage's archive.
struct TFiscalRecord {
    uint32_t Number = 0;
    std::time_t Time = 0;
    uint32_t FiscalSign = 0;
    std::string Kind;
    bool Sent = true;  // acknowledged by the data operator
};

struct TRegisterState {
    // Identity and registration.
    std::string SerialNumber = "0107000000000001";
    int FirmwareId = 3127;
    std::string FirmwareType = "fremu";
    std::string Inn = "7700000000";
    std::string RegNumber = "0000000001012345";
    std::time_t RegDate = 0;
    std::string FnSerial = "9999078900012345";
    bool Registered = true;
    bool FnClosed = false;
    uint32_t RegistrationDocNumber = 0;
    uint8_t TaxSystems = 0x01;  // bits 0 to 5
    uint16_t WorkMode = 0;      // bits 0 to 7 the modes, 8 to 14 the agent kinds
    bool Lottery = false;
    bool PrinterAutomatic = false;
    int FfdKkt = 2;
    int FfdFn = 2;
    uint8_t FnFlags = 0;
    bool OfdOnline = true;
    // Setting tables, keyed "table.row", UTF-8 text.
    std::map<std::string, std::string> Tables;

    // Counters and money.
    uint32_t LastDocNumber = 0;
    uint32_t ShiftNumber = 0;
    bool ShiftOpen = false;
    std::time_t ShiftOpenedAt = 0;
    uint32_t ChecksInShift = 0;
    int64_t Cash = 0;         // 1/10000
    int64_t ClockOffset = 0;  // seconds added to the computer's clock

    std::vector<TFiscalRecord> Documents;
};

// A registered register with its registration as fiscal document 1.
TRegisterState MakeFactoryState(std::time_t ANow, bool ARegistered);

nlohmann::json StateToJson(const TRegisterState& AState);
// Raises std::runtime_error on a malformed file.
TRegisterState StateFromJson(const nlohmann::json& AJson);

// Nothing when the file does not exist; raises on a file that cannot be read.
bool LoadStateFile(const std::string& APath, TRegisterState& AState);
// Temporary file, fsync, rename, fsync of the folder.
void SaveStateFile(const std::string& APath, const std::string& AText);

}  // namespace fr::emu
