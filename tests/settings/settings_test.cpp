// Tests of the Settings defaults, the acceptance of stored values and the
// install-path rule.
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

const DisplaySetting& settingNamed(const std::wstring& name)
{
    for (const DisplaySetting& setting : displaySettings)
        if (name == setting.valueName) return setting;
    ADD_FAILURE() << "no display setting for this value name";
    return displaySettings[0];
}

TEST(SettingsTest, TableHoldsTheValueNamesInRegistryOrderWithTheirFields)
{
    EXPECT_EQ(std::wstring(L"Background"), displaySettings[0].valueName);
    EXPECT_EQ(std::wstring(L"Number of balls"), displaySettings[1].valueName);
    EXPECT_EQ(std::wstring(L"Opaque"), displaySettings[2].valueName);
    EXPECT_EQ(std::wstring(L"Scale of balls"), displaySettings[3].valueName);
    EXPECT_EQ(&Settings::backgroundType, displaySettings[0].field);
    EXPECT_EQ(&Settings::ballCount, displaySettings[1].field);
    EXPECT_EQ(&Settings::opacityPercent, displaySettings[2].field);
    EXPECT_EQ(&Settings::ballScale, displaySettings[3].field);
}

TEST(SettingsTest, ResetSetsTheFourDefaultsAndKeepsTheInstallPath)
{
    Settings record{};
    std::wcscpy(record.installPath, L"C:\\Zephyrine");
    record.ballCount = 30;
    record.opacityPercent = 50;
    record.backgroundType = 2;
    record.ballScale = 0;

    resetToDefaults(record);

    EXPECT_EQ(7, record.ballCount);
    EXPECT_EQ(75, record.opacityPercent);
    EXPECT_EQ(0, record.backgroundType);
    EXPECT_EQ(2, record.ballScale);
    EXPECT_EQ(std::wstring(L"C:\\Zephyrine"), record.installPath);
}

struct AcceptanceCase {
    const wchar_t* valueName;
    uint32_t value;
    bool accepted;
};

TEST(SettingsTest, StoredDwordIsTakenOnlyWithinItsInclusiveRange)
{
    const AcceptanceCase cases[] = {
        {L"Number of balls", 5, true},
        {L"Number of balls", 30, true},
        {L"Number of balls", 4, false},
        {L"Number of balls", 31, false},
        {L"Number of balls", 0xFFFFFFFF, false},
        {L"Opaque", 50, true},
        {L"Opaque", 100, true},
        {L"Opaque", 49, false},
        {L"Opaque", 101, false},
        {L"Opaque", 0xFFFFFFFF, false},
        {L"Background", 0, true},
        {L"Background", 2, true},
        {L"Background", 3, false},
        {L"Background", 0xFFFFFFFF, false},
        {L"Scale of balls", 0, true},
        {L"Scale of balls", 2, true},
        {L"Scale of balls", 3, false},
        {L"Scale of balls", 0xFFFFFFFF, false},
    };
    for (const AcceptanceCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "value " << c.value << " for case #" << (&c - cases));
        EXPECT_EQ(c.accepted, isAcceptedValue(settingNamed(c.valueName), true, kRegDword, 4, c.value));
    }
}

TEST(SettingsTest, FailedQueryWrongTypeOrWrongSizeIsRefused)
{
    const DisplaySetting& balls = settingNamed(L"Number of balls");
    EXPECT_FALSE(isAcceptedValue(balls, false, kRegDword, 4, 10));
    EXPECT_FALSE(isAcceptedValue(balls, true, kRegBinary, 4, 10));
    EXPECT_FALSE(isAcceptedValue(balls, true, kRegSz, 4, 10));
    EXPECT_FALSE(isAcceptedValue(balls, true, kRegDword, 2, 10));
    EXPECT_FALSE(isAcceptedValue(balls, true, kRegDword, 0, 10));
}

// The four display settings as documented, in the order they are
// read and written, with their fields, defaults and ranges.
TEST(SettingsTest, DefaultsLieWithinTheirRanges)
{
    const struct {
        const wchar_t* valueName;
        int32_t Settings::*field;
        int32_t defaultValue;
        uint32_t minimum, maximum;
    } expected[] = {
        {L"Background", &Settings::backgroundType, 0, 0, 2},
        {L"Number of balls", &Settings::ballCount, 7, 5, 30},
        {L"Opaque", &Settings::opacityPercent, 75, 50, 100},
        {L"Scale of balls", &Settings::ballScale, 2, 0, 2},
    };
    ASSERT_EQ(4, kDisplaySettingCount);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(testing::Message() << "setting #" << i);
        EXPECT_EQ(std::wstring(expected[i].valueName), displaySettings[i].valueName);
        EXPECT_TRUE(expected[i].field == displaySettings[i].field);
        EXPECT_EQ(expected[i].defaultValue, displaySettings[i].defaultValue);
        EXPECT_EQ(expected[i].minimum, displaySettings[i].minimum);
        EXPECT_EQ(expected[i].maximum, displaySettings[i].maximum);
        EXPECT_TRUE(isAcceptedValue(displaySettings[i], true, kRegDword, 4,
                                    static_cast<uint32_t>(expected[i].defaultValue)));
    }
}

// Runs the install-path rule on the given units, of which byteCount bytes are
// the data; the units beyond them are there to catch reads past the data.
struct InstallPathResult {
    bool taken;
    std::wstring path;
};

InstallPathResult takeFrom(const std::u16string& units, size_t byteCount, uint32_t type = kRegSz)
{
    std::vector<char16_t> data(units.begin(), units.end());
    Settings record{};
    std::wcscpy(record.installPath, L"unchanged");
    bool taken = takeInstallPath(type, data.data(), byteCount, record.installPath);
    return {taken, record.installPath};
}

InstallPathResult takeString(const std::u16string& text, uint32_t type = kRegSz)
{
    return takeFrom(text + u'\0', (text.size() + 1) * sizeof(char16_t), type);
}

TEST(SettingsTest, InstallPathLosesExactlyOneTrailingBackslash)
{
    EXPECT_EQ(std::wstring(L"C:\\Zephyrine"), takeString(u"C:\\Zephyrine").path);
    EXPECT_EQ(std::wstring(L"C:\\Zephyrine"), takeString(u"C:\\Zephyrine\\").path);
    EXPECT_EQ(std::wstring(L"C:\\Zephyrine\\"), takeString(u"C:\\Zephyrine\\\\").path);
    EXPECT_EQ(std::wstring(L""), takeString(u"\\").path);
}

TEST(SettingsTest, EmptyInstallPathIsTaken)
{
    InstallPathResult terminated = takeString(u"");
    EXPECT_TRUE(terminated.taken);
    EXPECT_EQ(std::wstring(L""), terminated.path);

    InstallPathResult noData = takeFrom(u"X", 0);
    EXPECT_TRUE(noData.taken);
    EXPECT_EQ(std::wstring(L""), noData.path);
}

TEST(SettingsTest, InstallPathOfAnotherTypeIsRefusedAndLeavesTheFieldAlone)
{
    for (uint32_t type : {kRegExpandSz, kRegBinary, kRegDword, 0u, 7u}) {
        SCOPED_TRACE(testing::Message() << "type " << type);
        InstallPathResult result = takeString(u"C:\\Zephyrine", type);
        EXPECT_FALSE(result.taken);
        EXPECT_EQ(std::wstring(L"unchanged"), result.path);
    }
}

TEST(SettingsTest, InstallPathWithoutTerminatorEndsAfterItsLastStoredUnit)
{
    // Data followed by more text that must not be read.
    EXPECT_EQ(std::wstring(L"C:\\Z"), takeFrom(u"C:\\Zephyrine", 8).path);
    EXPECT_EQ(std::wstring(L"C:"), takeFrom(u"C:\\Zephyrine", 6).path);
    EXPECT_EQ(std::wstring(L"C:\\"), takeFrom(u"C:\\\\Zephyrine", 8).path);
    // Data that ends the buffer: the sanitizer build catches a read past it.
    EXPECT_EQ(std::wstring(L"C:\\Z"), takeFrom(u"C:\\Z", 8).path);
    // Text before an embedded terminator ends there.
    EXPECT_EQ(std::wstring(L"C:"), takeFrom(std::u16string(u"C:\0Zeph", 7), 14).path);
}

TEST(SettingsTest, OddByteCountDropsTheHalfUnit)
{
    EXPECT_EQ(std::wstring(L"C"), takeFrom(u"CDE", 3).path);
    EXPECT_EQ(std::wstring(L""), takeFrom(u"CDE", 1).path);
    EXPECT_EQ(std::wstring(L"CD"), takeFrom(u"CD\\E", 7).path);
}

TEST(SettingsTest, FullBufferIsCutTo259Characters)
{
    std::u16string full(kInstallPathUnits, u'a');
    full += u"bbbb";  // past the 520 bytes

    InstallPathResult result = takeFrom(full, kInstallPathBytes);
    EXPECT_TRUE(result.taken);
    EXPECT_EQ(std::wstring(kInstallPathUnits - 1, L'a'), result.path);

    EXPECT_EQ(std::wstring(kInstallPathUnits - 1, L'a'),
              takeFrom(std::u16string(kInstallPathUnits, u'a'), kInstallPathBytes).path);

    std::u16string endsInBackslash(kInstallPathUnits - 2, u'a');
    endsInBackslash += u"\\c";
    EXPECT_EQ(std::wstring(kInstallPathUnits - 2, L'a'), takeFrom(endsInBackslash, kInstallPathBytes).path);

    std::u16string longest(kInstallPathUnits - 1, u'a');
    EXPECT_EQ(std::wstring(kInstallPathUnits - 1, L'a'), takeString(longest).path);
}

TEST(SettingsTest, InstallPathLargerThan520BytesIsRefused)
{
    std::u16string tooLong(kInstallPathUnits + 1, u'a');
    InstallPathResult result = takeFrom(tooLong, kInstallPathBytes + 2);
    EXPECT_FALSE(result.taken);
    EXPECT_EQ(std::wstring(L"unchanged"), result.path);
    EXPECT_FALSE(takeFrom(tooLong, kInstallPathBytes + 1).taken);
}

}  // namespace
