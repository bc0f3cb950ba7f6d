#include "app/shell/setting_keys.h"
#include "core/settings.h"

#include <gtest/gtest.h>

namespace tarvok {

TEST(Settings, MissingValuesGiveTheCallersDefaultWithoutWritingIt)
{
    MemorySettingsBackend backend;
    Settings s(backend);
    EXPECT_EQ(s.GetSetting("nFreq", int32_t { 44100 }), 44100);
    EXPECT_EQ(s.GetSetting("SizeRate", "1.0"), "1.0");
    EXPECT_FLOAT_EQ(s.GetSetting("VULevelTrim", -23.0f), -23.0f);
    EXPECT_TRUE(backend.ListValues(kMainSection).empty());
}

TEST(Settings, EmptyTextIsStoredAsStarsAndReadsBackEmpty)
{
    MemorySettingsBackend backend;
    Settings s(backend);
    ASSERT_TRUE(s.SaveSetting("MRUList_1", ""));
    EXPECT_EQ(backend.ReadValue(kMainSection, "MRUList_1"), "***");
    EXPECT_EQ(s.GetSetting("MRUList_1", "default"), "");
    backend.WriteValue(kMainSection, "DataPath", "  ***  ");
    EXPECT_EQ(s.GetSetting("DataPath", "x"), "");
}

TEST(Settings, NumbersAreStoredAsDecimalTextAndConvertedOnRead)
{
    MemorySettingsBackend backend;
    Settings s(backend);
    s.SaveSetting("VULevelTrim", -23.0f);
    EXPECT_EQ(backend.ReadValue(kMainSection, "VULevelTrim"), "-23");
    s.SaveSetting("PlayTrimDB", 1.5f);
    EXPECT_EQ(backend.ReadValue(kMainSection, "PlayTrimDB"), "1.5");
    s.SaveSetting("nFreq", int32_t { 48000 });
    EXPECT_EQ(s.GetSetting("nFreq", int32_t { 0 }), 48000);

    const std::pair<std::string, int32_t> kIntCases[] = {
        { " 12 ", 12 },
        { "-7", -7 },
        { "2.5", 2 },
        { "3.5", 4 },
        { "abc", 99 },
        { "", 99 },
        { "99999999999", 99 },
        { std::string("5\0garbage", 9), 5 },
    };
    for (const auto& [text, expected] : kIntCases) {
        SCOPED_TRACE(text);
        backend.WriteValue(kMainSection, "Key", text);
        EXPECT_EQ(s.GetSetting("Key", int32_t { 99 }), expected);
    }
    backend.WriteValue(kMainSection, "Short", "40000");
    EXPECT_EQ(s.GetSetting("Short", int16_t { 7 }), 7);
}

TEST(Settings, ValueNamesIgnoreCaseAndDeleteRestoresTheDefault)
{
    MemorySettingsBackend backend;
    Settings s(backend);
    s.SaveSetting("nFreq", int32_t { 48000 });
    EXPECT_EQ(s.GetSetting("NFREQ", int32_t { 0 }), 48000);
    s.SaveSetting("NFreq", int32_t { 96000 });
    EXPECT_EQ(backend.ListValues(kMainSection).size(), 1u);
    EXPECT_TRUE(s.DeleteSetting("nfreq"));
    EXPECT_EQ(s.GetSetting("nFreq", int32_t { 44100 }), 44100);
}

TEST(Settings, CommonSectionIsSeparate)
{
    MemorySettingsBackend backend;
    Settings s(backend);
    backend.WriteValue(kCommonSection, "DebugLogPath", "/var/log/x/");
    EXPECT_EQ(s.GetSettingIn("DebugLogPath", "", kCommonSection), "/var/log/x/");
    EXPECT_EQ(s.GetSetting("DebugLogPath", "none"), "none");
}

TEST(SettingKeys, FindsPlainKeysAndNumberedFamilies)
{
    const std::pair<const char*, const char*> kFound[] = {
        { "nFreq", "nFreq" },
        { "nfreq", "nFreq" },
        { "DevOutID_1", "DevOutID_" },
        { "DevInID_8", "DevInID_" },
        { "MRUList_3", "MRUList_" },
        { "TrackName_01", "TrackName_" },
        { "TrackLevelL_64", "TrackLevelL_" },
        { "fkeyfct-12", "fkeyfct-" },
        { "MixWindowLeft", "MixWindowLeft" },
        { "WindowState", "WindowState" },
        { "FXParm_FX_DELAY-01", "FXParm_" },
        { "FXParm_FX_DELAY-03", "FXParm_" },
        { "FXParm_FX_NORM_Check-02", "FXParm_" },
        { "FXParm_FX_GEQ-16", "FXParm_" },
        { "FXParm_FX_SIGN-01", "FXParm_" },
        { "FXParm_FX_SIGN-02", "FXParm_FX_SIGN-02" },
        { "CheckLoudness", "CheckLoudness" },
        { "LoudnessLevel", "LoudnessLevel" },
        { "MixMeasureLoudness", "MixMeasureLoudness" },
    };
    for (auto [name, entry] : kFound) {
        SCOPED_TRACE(name);
        const SettingKeyInfo* key = FindSettingKey(name);
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(key->Name, entry);
    }
    for (const char* name :
        { "DevOutID_0", "DevOutID_9", "TrackName_1", "TrackName_65", "Bogus", "",
            "FXParm_FX_DELAY-04", "FXParm_FX_DELAY-00", "FXParm_FX_DELAY-1", "FXParm_FX_RVS-01",
            "FXParm_FX_NORM_Check-03", "FXParm_FX_DELAY_Check-01", "FXParm_NOPE-01" }) {
        SCOPED_TRACE(name);
        EXPECT_EQ(FindSettingKey(name), nullptr);
    }
}

TEST(SettingKeys, TableDefaultsMatchTheirTypes)
{
    for (const SettingKeyInfo& key : AllSettingKeys()) {
        SCOPED_TRACE(std::string(key.Name));
        if (!key.Default.empty() && key.Type != SettingType::Text) {
            EXPECT_TRUE(IsValidSettingValue(key, key.Default));
        }
        EXPECT_EQ(FindSettingKey(key.Family == KeyFamily::None ? std::string(key.Name)
                          : key.Family == KeyFamily::Slot      ? std::string(key.Name) + "1"
                          : key.Family == KeyFamily::Effect ? std::string(key.Name) + "FX_ECHO-01"
                                                            : std::string(key.Name) + "01"),
            &key);
    }
    EXPECT_EQ(FindSettingKey("DebugLogPath")->Section, kCommonSection);
}

} // namespace tarvok
