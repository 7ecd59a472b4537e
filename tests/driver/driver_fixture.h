#pragma once
// One fiscal driver reached the way the host reaches it: a component object
// created through the class registry, methods called by name with a parameter
// array, against an emulated register started in-process (TCP on a free port and
// a pseudo-terminal behind the link comN of a private COM folder). The common
// application data folder, the COM folder and the log live in a scratch folder.
// The driver's pauses for a real register are dropped (the emulator needs none);
// its short polls of the link still wait.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/add_in_object.h"
#include "platform/clock.h"
#include "platform/format_settings.h"
#include "platform/variant.h"
#include "tools/fremu/emulator.h"

namespace fr::test {

// What one host call gave back.
struct TDriverCall {
    HResult Hr = 0;
    Variant Ret;                  // the return value
    std::vector<Variant> Params;  // the parameter array after the call
    int32_t Code = 0;             // GetLastError's return value
    std::u16string ErrorText;     // GetLastError's description

    bool Ok() const { return Ret.BaseType() == vtBoolean && Ret.BoolValue(); }
    std::u16string Param(size_t AIndex) const;  // as text
};

class DriverFixture : public ::testing::Test {
  protected:
    static constexpr int kComNumber = 7;

    void SetUp() override;
    void TearDown() override;

    // The emulator; AOptions' listening and COM fields are overridden. Call before
    // Component() or SetState(). AState, when given, is the register's state file
    // content (JSON) to start from.
    void StartEmulator(emu::TEmulatorOptions AOptions = {}, const std::string& AState = {});
    emu::TEmulator& Emu();

    // The component object, created and initialised at first use.
    TAddInObject& Component();
    // A setting by name, as the host sets a property.
    void SetProp(const std::u16string& AName, const Variant& AValue);
    // The connection settings for the emulator's TCP port or its COM link.
    void UseTcp();
    void UseCom();

    // Calls a method by name; the parameter array has the method's count, the
    // leading elements taken from AParams. Then reads GetLastError.
    TDriverCall Call(const std::u16string& AMethod, std::vector<Variant> AParams = {});
    // The same on any component object (a second register's, say).
    static TDriverCall CallOn(TAddInObject& AComponent, const std::u16string& AMethod,
                              std::vector<Variant> AParams = {});
    // The component object is done and gone, as when its process ends; the next
    // use creates a new one with the settings at their defaults.
    void ReplaceComponent();
    // Open over TCP (the default) with WriteLog on; asserts success.
    void OpenTcp();

    // The register's journal: the commands received after sequence ASince.
    std::vector<emu::TRequestRecord> Requests(uint64_t ASince = 0);
    std::vector<std::string> Commands(uint64_t ASince = 0);
    uint64_t LastSeq();
    // The fields of the last request with that command after ASince; fails the
    // test when there is none.
    std::vector<std::string> LastFields(const std::string& ACommand, uint64_t ASince = 0);
    std::vector<emu::TDocumentRecord> Documents();
    nlohmann::json Control(const nlohmann::json& ARequest);

    std::filesystem::path Dir() const { return FDir; }
    std::filesystem::path DataDir() const { return FDir / "fr_norvane1c83"; }
    // Today's driver log, line by line.
    std::vector<std::string> LogLines() const;

  private:
    std::filesystem::path FDir;
    std::unique_ptr<emu::TEmulator> FEmulator;
    std::unique_ptr<TAddInObject> FComponent;
    FormatSettings FSavedFormat;
    SleepHook FSavedSleepHook = nullptr;
};

// The host's input parameters document for a cashier.
std::u16string InputParameters(const std::u16string& ACashierName,
                               const std::u16string& ACashierVATIN);

// Text helpers for assertions.
std::string U8(const std::u16string& AText);
std::u16string U16(const std::string& AText);
// An attribute of the first element named AElement in an XML text; "<absent>"
// when the element or attribute is missing.
std::string XmlAttr(const std::u16string& AXml, const std::u16string& AElement,
                    const std::u16string& AName);
// The name of the document element of an XML text.
std::string XmlRootName(const std::u16string& AXml);
// The attribute names of the first element named AElement, in document order.
std::vector<std::string> XmlAttrNames(const std::u16string& AXml, const std::u16string& AElement);

}  // namespace fr::test
