// Tests of the registry store against the real registry of the test prefix.
#include "settings/settings_store_win.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "support/win_test_support.h"

namespace {

const wchar_t kParentKeyPath[] = L"Software\\Quorvane";

// Deletes the settings key, and its parent when nothing else lives there.
void deleteKey(HKEY root)
{
    RegDeleteTreeW(root, kSettingsKeyPath);
    HKEY parent;
    if (RegOpenKeyExW(root, kParentKeyPath, 0, KEY_READ, &parent) != ERROR_SUCCESS) return;
    DWORD subKeys = 1;
    DWORD values = 1;
    LSTATUS status = RegQueryInfoKeyW(parent, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                                      nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(parent);
    if (status == ERROR_SUCCESS && subKeys == 0 && values == 0) RegDeleteKeyW(root, kParentKeyPath);
}

void putUserDword(const wchar_t* name, DWORD value)
{
    ASSERT_NO_FATAL_FAILURE(putValue(HKEY_CURRENT_USER, name, REG_DWORD, &value, sizeof value));
}

// The stored user value as written by the store: its type, size and number.
struct StoredDword {
    LSTATUS status;
    DWORD type;
    DWORD byteCount;
    DWORD value;
};

StoredDword readUserValue(const wchar_t* name)
{
    StoredDword stored{ERROR_FILE_NOT_FOUND, 0, 0, 0};
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return stored;
    stored.byteCount = sizeof stored.value;
    stored.status = RegQueryValueExW(key, name, nullptr, &stored.type, reinterpret_cast<BYTE*>(&stored.value),
                                     &stored.byteCount);
    RegCloseKey(key);
    return stored;
}

void expectDisplaySettings(int line, const Settings& record, int32_t ballCount, int32_t opacityPercent,
                           int32_t backgroundType, int32_t ballScale)
{
    testing::ScopedTrace trace(__FILE__, line, "display settings");
    EXPECT_EQ(ballCount, record.ballCount);
    EXPECT_EQ(opacityPercent, record.opacityPercent);
    EXPECT_EQ(backgroundType, record.backgroundType);
    EXPECT_EQ(ballScale, record.ballScale);
}

void expectUserValues(int line, DWORD background, DWORD ballCount, DWORD opaque, DWORD scale)
{
    testing::ScopedTrace trace(__FILE__, line, "stored user values");
    const wchar_t* names[] = {L"Background", L"Number of balls", L"Opaque", L"Scale of balls"};
    const DWORD expected[] = {background, ballCount, opaque, scale};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(testing::Message() << "value #" << i);
        StoredDword stored = readUserValue(names[i]);
        EXPECT_EQ(ERROR_SUCCESS, stored.status);
        EXPECT_EQ(static_cast<DWORD>(REG_DWORD), stored.type);
        EXPECT_EQ(4u, stored.byteCount);
        EXPECT_EQ(expected[i], stored.value);
    }
}

class SettingsStoreTest : public testing::Test {
protected:
    void SetUp() override
    {
        savedCalls = registryCalls;
        deleteKey(HKEY_CURRENT_USER);
        deleteKey(HKEY_LOCAL_MACHINE);
    }
    void TearDown() override
    {
        registryCalls = savedCalls;
        deleteKey(HKEY_CURRENT_USER);
        deleteKey(HKEY_LOCAL_MACHINE);
    }

    RegistryCalls savedCalls;
};

// What the replaced registry calls saw.
std::vector<REGSAM> openMasks;
std::vector<std::wstring> writtenNames;
int keysOpened;
int keysClosed;

LSTATUS WINAPI recordingOpen(HKEY root, LPCWSTR path, DWORD options, REGSAM access, PHKEY key)
{
    openMasks.push_back(access);
    LSTATUS status = RegOpenKeyExW(root, path, options, access, key);
    keysOpened += status == ERROR_SUCCESS;
    return status;
}

LSTATUS WINAPI countingCreate(HKEY root, LPCWSTR path, DWORD reserved, LPWSTR keyClass, DWORD options,
                              REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY key, LPDWORD disposition)
{
    LSTATUS status = RegCreateKeyExW(root, path, reserved, keyClass, options, access, security, key, disposition);
    keysOpened += status == ERROR_SUCCESS;
    return status;
}

LSTATUS WINAPI countingClose(HKEY key)
{
    ++keysClosed;
    return RegCloseKey(key);
}

// Fails the write of "Number of balls" and passes the others on.
LSTATUS WINAPI failingBallCountWrite(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data,
                                     DWORD byteCount)
{
    writtenNames.push_back(name);
    if (writtenNames.back() == L"Number of balls") return ERROR_ACCESS_DENIED;
    return RegSetValueExW(key, name, reserved, type, data, byteCount);
}

LSTATUS WINAPI refusingUserOpen(HKEY root, LPCWSTR path, DWORD options, REGSAM access, PHKEY key)
{
    if (root == HKEY_CURRENT_USER) return ERROR_ACCESS_DENIED;
    return RegOpenKeyExW(root, path, options, access, key);
}

LSTATUS WINAPI refusingOpen(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY)
{
    return ERROR_ACCESS_DENIED;
}

LSTATUS WINAPI refusingCreate(HKEY, LPCWSTR, DWORD, LPWSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD)
{
    return ERROR_ACCESS_DENIED;
}

TEST_F(SettingsStoreTest, LoadWithoutUserKeyGivesDefaultsAndCreatesNoKey)
{
    Settings record = recordWith(20, 60, 1, 0);
    loadSettings(record);
    expectDisplaySettings(__LINE__, record, 7, 75, 0, 2);
    EXPECT_EQ(std::wstring(L"C:\\Before"), record.installPath);
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, kSettingsKeyPath));
}

struct LoadCase {
    const wchar_t* valueName;
    DWORD stored;
    int32_t loaded;
    int32_t Settings::*field;
};

TEST_F(SettingsStoreTest, LoadTakesValuesWithinRangeAndDefaultsTheRest)
{
    const LoadCase cases[] = {
        {L"Number of balls", 5, 5, &Settings::ballCount},
        {L"Number of balls", 30, 30, &Settings::ballCount},
        {L"Number of balls", 4, 7, &Settings::ballCount},
        {L"Number of balls", 31, 7, &Settings::ballCount},
        {L"Opaque", 50, 50, &Settings::opacityPercent},
        {L"Opaque", 100, 100, &Settings::opacityPercent},
        {L"Opaque", 49, 75, &Settings::opacityPercent},
        {L"Opaque", 101, 75, &Settings::opacityPercent},
        {L"Background", 2, 2, &Settings::backgroundType},
        {L"Background", 3, 0, &Settings::backgroundType},
        {L"Background", 0xFFFFFFFF, 0, &Settings::backgroundType},
        {L"Scale of balls", 0, 0, &Settings::ballScale},
        {L"Scale of balls", 3, 2, &Settings::ballScale},
        {L"Scale of balls", 0xFFFFFFFF, 2, &Settings::ballScale},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "case #" << (&c - cases) << ", stored " << c.stored);
        deleteKey(HKEY_CURRENT_USER);
        ASSERT_NO_FATAL_FAILURE(putUserDword(c.valueName, c.stored));
        Settings record = recordWith(20, 60, 1, 1);
        loadSettings(record);
        EXPECT_EQ(c.loaded, record.*c.field);
    }
}

TEST_F(SettingsStoreTest, LoadRefusesBallCountOfTheWrongTypeOrSize)
{
    const DWORD ten = 10;
    const unsigned char eightBytes[8] = {10};
    struct {
        DWORD type;
        const void* data;
        DWORD byteCount;
    } cases[] = {
        {REG_SZ, L"10", sizeof L"10"},
        {REG_BINARY, &ten, sizeof ten},
        {REG_DWORD, &ten, 2},
        {REG_DWORD, eightBytes, sizeof eightBytes},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << ", " << c.byteCount << " bytes");
        deleteKey(HKEY_CURRENT_USER);
        ASSERT_NO_FATAL_FAILURE(putValue(HKEY_CURRENT_USER, L"Number of balls", c.type, c.data, c.byteCount));
        Settings record = recordWith(20, 60, 1, 1);
        loadSettings(record);
        EXPECT_EQ(7, record.ballCount);
    }
}

TEST_F(SettingsStoreTest, OneBadValueLeavesTheOtherThreeRead)
{
    ASSERT_NO_FATAL_FAILURE(putUserDword(L"Background", 1));
    ASSERT_NO_FATAL_FAILURE(putValue(HKEY_CURRENT_USER, L"Number of balls", REG_SZ, L"12", sizeof L"12"));
    ASSERT_NO_FATAL_FAILURE(putUserDword(L"Opaque", 60));
    ASSERT_NO_FATAL_FAILURE(putUserDword(L"Scale of balls", 1));
    Settings record = recordWith(20, 90, 2, 0);
    loadSettings(record);
    expectDisplaySettings(__LINE__, record, 7, 60, 1, 1);

    ASSERT_NO_FATAL_FAILURE(putUserDword(L"Number of balls", 12));
    ASSERT_NO_FATAL_FAILURE(putUserDword(L"Opaque", 101));
    loadSettings(record);
    expectDisplaySettings(__LINE__, record, 12, 75, 1, 1);
}

TEST_F(SettingsStoreTest, SaveCreatesTheKeyWithAllFourValuesAndOverwritesThem)
{
    saveSettings(recordWith(12, 60, 1, 0));
    expectUserValues(__LINE__, 1, 12, 60, 0);

    saveSettings(recordWith(30, 100, 2, 1));
    expectUserValues(__LINE__, 2, 30, 100, 1);

    Settings loaded = recordWith(5, 50, 0, 0);
    loadSettings(loaded);
    expectDisplaySettings(__LINE__, loaded, 30, 100, 2, 1);
}

TEST_F(SettingsStoreTest, SaveWritesInOrderAndGoesOnAfterAFailedWrite)
{
    ASSERT_NO_FATAL_FAILURE(putUserDword(L"Number of balls", 9));
    writtenNames.clear();
    keysOpened = keysClosed = 0;
    registryCalls.setValue = failingBallCountWrite;
    registryCalls.createKey = countingCreate;
    registryCalls.closeKey = countingClose;

    saveSettings(recordWith(12, 60, 1, 0));

    const std::vector<std::wstring> order = {L"Background", L"Number of balls", L"Opaque", L"Scale of balls"};
    EXPECT_EQ(order, writtenNames);
    expectUserValues(__LINE__, 1, 9, 60, 0);
    EXPECT_EQ(1, keysOpened);
    EXPECT_EQ(1, keysClosed);
}

struct InstallPathCase {
    DWORD type;
    std::u16string data;  // what is stored, the terminator included when wanted
    bool found;
    std::u16string installPath;
};

TEST_F(SettingsStoreTest, LookUpInstallPathTakesOnlyUsableStrings)
{
    const std::u16string full(260, u'a');
    const InstallPathCase cases[] = {
        {REG_SZ, std::u16string(u"C:\\Zephyrine\0", 13), true, u"C:\\Zephyrine"},
        {REG_SZ, std::u16string(u"C:\\Zephyrine\\\0", 14), true, u"C:\\Zephyrine"},
        {REG_SZ, std::u16string(u"C:\\Zephyrine\\\\\0", 15), true, u"C:\\Zephyrine\\"},
        {REG_SZ, std::u16string(u"\0", 1), true, u""},
        {REG_SZ, std::u16string(), true, u""},
        {REG_SZ, u"C:\\Zephyrine", true, u"C:\\Zephyrine"},
        {REG_SZ, full, true, full.substr(0, 259)},
        {REG_SZ, full.substr(0, 258) + u"\\b", true, full.substr(0, 258)},
        {REG_SZ, full + u'\0', false, u"C:\\Before"},
        {REG_EXPAND_SZ, std::u16string(u"C:\\Zephyrine\0", 13), false, u"C:\\Before"},
    };
    registryCalls.queryValue = markingQuery;
    for (const InstallPathCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "case #" << (&c - cases));
        deleteKey(HKEY_LOCAL_MACHINE);
        // A non-zero unit after the data keeps the registry from adding a terminator.
        std::u16string buffer = c.data + u'X';
        ASSERT_NO_FATAL_FAILURE(putValue(HKEY_LOCAL_MACHINE, L"Install path", c.type, buffer.data(),
                                         static_cast<DWORD>(c.data.size() * sizeof(char16_t))));
        Settings record = recordWith(7, 75, 0, 2);
        EXPECT_EQ(c.found, lookUpInstallPath(record));
        const wchar_t* path = record.installPath;
        EXPECT_EQ(c.installPath, std::u16string(path, path + std::wcslen(path)));
    }
}

TEST_F(SettingsStoreTest, LookUpFailsWithoutKeyOrValue)
{
    Settings record = recordWith(7, 75, 0, 2);
    EXPECT_FALSE(lookUpInstallPath(record));

    ASSERT_NO_FATAL_FAILURE(putValue(HKEY_LOCAL_MACHINE, L"Other", REG_SZ, L"C:\\", sizeof L"C:\\"));
    EXPECT_FALSE(lookUpInstallPath(record));
    EXPECT_EQ(std::wstring(L"C:\\Before"), record.installPath);
}

TEST_F(SettingsStoreTest, LookUpAsksForNoWriteAccessAndClosesTheKey)
{
    ASSERT_NO_FATAL_FAILURE(
        putValue(HKEY_LOCAL_MACHINE, L"Install path", REG_SZ, L"C:\\Zephyrine\\", sizeof L"C:\\Zephyrine\\"));
    openMasks.clear();
    keysOpened = keysClosed = 0;
    registryCalls.openKey = recordingOpen;
    registryCalls.closeKey = countingClose;

    Settings record = recordWith(7, 75, 0, 2);
    EXPECT_TRUE(lookUpInstallPath(record));
    EXPECT_EQ(std::wstring(L"C:\\Zephyrine"), record.installPath);

    ASSERT_EQ(1u, openMasks.size());
    const REGSAM writeBits = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC |
                             WRITE_OWNER;
    EXPECT_EQ(0u, openMasks[0] & writeBits);
    EXPECT_EQ(1, keysOpened);
    EXPECT_EQ(1, keysClosed);
}

TEST_F(SettingsStoreTest, RefusedUserKeyLosesNothing)
{
    saveSettings(recordWith(12, 60, 1, 0));
    registryCalls.openKey = refusingUserOpen;
    registryCalls.createKey = refusingCreate;

    Settings record = recordWith(20, 90, 2, 1);
    loadSettings(record);
    expectDisplaySettings(__LINE__, record, 7, 75, 0, 2);

    settings = recordWith(25, 80, 2, 1);
    saveSettings(settings);
    expectDisplaySettings(__LINE__, settings, 25, 80, 2, 1);
    expectUserValues(__LINE__, 1, 12, 60, 0);

    deleteKey(HKEY_CURRENT_USER);
    saveSettings(settings);
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, kSettingsKeyPath));
}

TEST_F(SettingsStoreTest, RefusedMachineKeyFailsTheLookUp)
{
    ASSERT_NO_FATAL_FAILURE(
        putValue(HKEY_LOCAL_MACHINE, L"Install path", REG_SZ, L"C:\\Zephyrine", sizeof L"C:\\Zephyrine"));
    registryCalls.openKey = refusingOpen;
    Settings record = recordWith(7, 75, 0, 2);
    EXPECT_FALSE(lookUpInstallPath(record));
    EXPECT_EQ(std::wstring(L"C:\\Before"), record.installPath);
}

}  // namespace
