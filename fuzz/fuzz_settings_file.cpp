// Bytes as the .sts settings file of the 7.7 platform: read, saved, read again.
// What a clean read gives must survive the save unchanged.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "driver/driver_registry.h"
#include "fuzz/fuzz_support.h"
#include "host/base_driver.h"
#include "platform/exception.h"
#include "platform/module.h"

namespace fr::fuzz {

namespace {

TBaseDriver& Driver() {
    static std::unique_ptr<TBaseDriver> driver = [] {
        UseScratchDataFolder();
        SetHostExecutablePathOverride(u"C:\\1cv7s.exe");
        RegisterDriverClasses();
        auto d = CreateDriverByClassName(u"TDriver");
        if (!d || d->PlatformVer() != pv77) std::abort();
        d->SetDeviceID(u"fuzz");
        return d;
    }();
    return *driver;
}

std::vector<std::u16string> SettingTexts(TBaseDriver& driver) {
    std::vector<std::u16string> texts;
    for (int32_t i = 0; i < driver.SettingsCount(); ++i)
        texts.push_back(VarToSettingStr(driver.PropList(i)->Value));
    return texts;
}

}  // namespace

int FuzzSettingsFile(const uint8_t* AData, size_t ASize) {
    TBaseDriver& driver = Driver();
    driver.SetAllSettingsDefault();
    const std::filesystem::path file(driver.GetSettingsFileName());
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(AData), static_cast<std::streamsize>(ASize));
    }
    try {
        driver.ReadSettings();
    } catch (const Exception&) {
        // A file the reader refuses is reported to the host; nothing to compare.
        return 0;
    }
    const std::vector<std::u16string> first = SettingTexts(driver);
    try {
        driver.SaveSettings();
    } catch (const EOSError&) {
        // A value that cannot be one INI line is refused, not written half.
        return 0;
    }
    driver.SetAllSettingsDefault();
    driver.ReadSettings();
    if (SettingTexts(driver) != first) {
        std::fputs("settings changed across SaveSettings and ReadSettings\n", stderr);
        std::abort();
    }
    return 0;
}

}  // namespace fr::fuzz

FR_FUZZ_TARGET(fr::fuzz::FuzzSettingsFile)
