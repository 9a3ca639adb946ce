// Damaged registry values: every type and size of each display value and of
// the install path, in process through the store and against the real saver.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "program/saver_run.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "settings/settings_store_win.h"
#include "support/win_test_support.h"

namespace {

struct ValueType {
    DWORD type;
    const char* name;
};

const ValueType kValueTypes[] = {
    {REG_NONE, "REG_NONE"},           {REG_SZ, "REG_SZ"},
    {REG_EXPAND_SZ, "REG_EXPAND_SZ"}, {REG_BINARY, "REG_BINARY"},
    {REG_DWORD, "REG_DWORD"},         {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN"},
    {REG_LINK, "REG_LINK"},           {REG_MULTI_SZ, "REG_MULTI_SZ"},
    {REG_QWORD, "REG_QWORD"},
};

const DWORD kDataSizes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 521, 522, 1024, 65536};

// Bytes of a display value: the low byte is a number the setting would take,
// so only the type and the size can refuse it; the rest is non-zero filler.
std::vector<BYTE> displayValueData(BYTE number, DWORD byteCount)
{
    std::vector<BYTE> data(byteCount + 2, 'Z');
    for (DWORD i = 0; i < 4 && i < byteCount; ++i) data[i] = i == 0 ? number : 0;
    return data;
}

// UTF-16 letters with no terminator anywhere, for byteCount bytes and beyond.
std::vector<wchar_t> installPathData(DWORD byteCount)
{
    std::vector<wchar_t> data(byteCount / 2 + 2);
    for (size_t k = 0; k < data.size(); ++k) data[k] = static_cast<wchar_t>(L'a' + k % 26);
    return data;
}

class RegistryInProcessTest : public testing::Test {
protected:
    void SetUp() override
    {
        savedCalls_ = registryCalls;
        deleteZephyrineKeys();
    }
    void TearDown() override
    {
        registryCalls = savedCalls_;
        deleteZephyrineKeys();
    }

private:
    RegistryCalls savedCalls_;
};

TEST_F(RegistryInProcessTest, DisplayValuesOfEveryTypeAndSizeTakeOnlyFourByteDwords)
{
    struct Value {
        const wchar_t* name;
        int32_t Settings::*field;
        BYTE number;  // within the range, and not the default
        int32_t defaultValue;
    };
    const Value values[] = {
        {L"Background", &Settings::backgroundType, 1, 0},
        {L"Number of balls", &Settings::ballCount, 10, 7},
        {L"Opaque", &Settings::opacityPercent, 60, 75},
        {L"Scale of balls", &Settings::ballScale, 1, 2},
    };
    registryCalls.queryValue = markingQuery;
    int cases = 0;
    for (const Value& value : values) {
        for (const ValueType& type : kValueTypes) {
            for (DWORD size : kDataSizes) {
                SCOPED_TRACE(testing::Message()
                             << narrow(value.name) << " " << type.name << " " << size << " bytes");
                RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKeyPath);
                std::vector<BYTE> data = displayValueData(value.number, size);
                ASSERT_NO_FATAL_FAILURE(putValue(HKEY_CURRENT_USER, value.name, type.type, data.data(), size));
                Settings record = recordWith(20, 90, 2, 0);
                loadSettings(record);
                const bool taken = type.type == REG_DWORD && size == 4;
                EXPECT_EQ(taken ? value.number : value.defaultValue, record.*value.field);
                for (const Value& other : values)
                    if (other.field != value.field) {
                        EXPECT_EQ(other.defaultValue, record.*other.field);
                    }
                EXPECT_STREQ(L"C:\\Before", record.installPath);
                ++cases;
            }
        }
    }
    EXPECT_EQ(4 * 9 * 13, cases);
}

TEST_F(RegistryInProcessTest, InstallPathOfEveryTypeAndSizeIsReadOnlyWithinItsData)
{
    registryCalls.queryValue = markingQuery;
    for (const ValueType& type : kValueTypes) {
        for (DWORD size : kDataSizes) {
            SCOPED_TRACE(testing::Message() << type.name << " " << size << " bytes");
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, kSettingsKeyPath);
            std::vector<wchar_t> data = installPathData(size);
            ASSERT_NO_FATAL_FAILURE(putValue(HKEY_LOCAL_MACHINE, L"Install path", type.type, data.data(), size));
            Settings record = recordWith(7, 75, 0, 2);
            const bool found = type.type == REG_SZ && size <= 520;
            EXPECT_EQ(found, lookUpInstallPath(record));
            // Whole UTF-16 units of the data, without terminator: all of them.
            const std::wstring expected = found ? std::wstring(data.data(), size / 2) : L"C:\\Before";
            EXPECT_EQ(narrow(expected), narrow(record.installPath));
        }
    }
}

TEST_F(RegistryInProcessTest, KeysWithoutValues)
{
    ASSERT_NO_FATAL_FAILURE(createEmptyKey(HKEY_CURRENT_USER));
    ASSERT_NO_FATAL_FAILURE(createEmptyKey(HKEY_LOCAL_MACHINE));
    Settings record = recordWith(20, 90, 2, 0);
    loadSettings(record);
    EXPECT_EQ(7, record.ballCount);
    EXPECT_EQ(75, record.opacityPercent);
    EXPECT_EQ(0, record.backgroundType);
    EXPECT_EQ(2, record.ballScale);
    EXPECT_FALSE(lookUpInstallPath(record));
    EXPECT_STREQ(L"C:\\Before", record.installPath);
    EXPECT_EQ("key", userKeyImage()) << "loading wrote nothing";
}

// ---------------------------------------------------------------------------
// Registry, against the real saver

TEST_F(SaverRunTest, InstallPathsOfAnotherTypeOrTooLongEndWithTheDamagedMessage)
{
    const std::wstring dist = distDirectory();
    std::vector<wchar_t> path(dist.begin(), dist.end());
    path.push_back(0);
    path.resize(65536 / 2 + 2, L'x');
    struct Case {
        DWORD type;
        DWORD byteCount;
        const char* name;
    };
    std::vector<Case> cases;
    const DWORD pathBytes = static_cast<DWORD>((dist.size() + 1) * sizeof(wchar_t));
    for (const ValueType& type : kValueTypes)
        if (type.type != REG_SZ) cases.push_back({type.type, pathBytes, type.name});
    for (DWORD size : {521u, 522u, 1024u, 65536u}) cases.push_back({REG_SZ, size, "REG_SZ, long"});

    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " " << c.byteCount << " bytes");
        deleteZephyrineKeys();
        ASSERT_NO_FATAL_FAILURE(putValue(HKEY_LOCAL_MACHINE, L"Install path", c.type, path.data(), c.byteCount));
        ASSERT_NO_FATAL_FAILURE(expectQuickEnd(quotedSaver() + kStartUpProbe, kDamagedInstallation));
        EXPECT_EQ("none", userKeyImage());
    }

    SCOPED_TRACE("machine key without values");
    deleteZephyrineKeys();
    ASSERT_NO_FATAL_FAILURE(createEmptyKey(HKEY_LOCAL_MACHINE));
    ASSERT_NO_FATAL_FAILURE(expectQuickEnd(quotedSaver() + L" /s", kDamagedInstallation));
}

// A path of exactly `length` characters that names `folder`: "\." steps pad
// it, and a folder name of one or two letters below `base` fixes the parity.
std::wstring paddedFolder(const std::wstring& base, size_t length)
{
    std::wstring folder = base + L"\\p";
    if ((length - folder.size()) % 2 != 0) folder = base + L"\\pq";
    CreateDirectoryW(folder.c_str(), nullptr);
    for (int n = 1; n <= 8; ++n) {
        const std::wstring file = L"\\" + std::to_wstring(n) + L".png";
        copyFileTo(distDirectory() + file, folder + file);
    }
    while (folder.size() < length) folder += L"\\.";
    return folder;
}

TEST_F(SaverRunTest, InstallPathLengthsAndMissingTerminator)
{
    const std::wstring work = makeTempDirectory(L"zeph-long");
    ASSERT_FALSE(work.empty());
    ASSERT_LT(work.size() + 3, 253u);

    struct Case {
        const char* name;
        std::wstring path;
        bool terminated;
        QuickEnd end;
    };
    const Case cases[] = {
        {"253 characters", paddedFolder(work, 253), true, kStartedUp},
        {"254 characters", paddedFolder(work, 254), true, kPicturesMissing},
        {"259 characters", paddedFolder(work, 259), true, kPicturesMissing},
        {"259 characters without terminator", paddedFolder(work, 259), false, kPicturesMissing},
        {"260 characters without terminator, cut to 259", paddedFolder(work, 260), false, kPicturesMissing},
        {"the pictures' folder without terminator", distDirectory(), false, kStartedUp},
        {"the pictures' folder and a backslash, without terminator", distDirectory() + L"\\", false, kStartedUp},
        {"empty", L"", true, kPicturesMissing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The long paths name a folder that holds the pictures: only their
        // length can refuse them.
        ASSERT_TRUE(c.path.empty() || c.path.size() < 253 ||
                    GetFileAttributesW((c.path.substr(0, 253)).c_str()) != INVALID_FILE_ATTRIBUTES);
        deleteZephyrineKeys();
        std::vector<wchar_t> data(c.path.begin(), c.path.end());
        data.push_back(c.terminated ? 0 : L'x');
        data.push_back(L'x');
        ASSERT_NO_FATAL_FAILURE(
            putValue(HKEY_LOCAL_MACHINE, L"Install path", REG_SZ, data.data(),
                     static_cast<DWORD>((c.path.size() + (c.terminated ? 1 : 0)) * sizeof(wchar_t))));
        ASSERT_NO_FATAL_FAILURE(expectQuickEnd(quotedSaver() + kStartUpProbe, c.end));
    }
    removeDirectoryTree(work);
}

TEST_F(SaverRunTest, UnusableUserValuesShowTheDefaultsAndCancelLeavesThemAsTheyWere)
{
    struct Case {
        const char* name;
        DWORD type;
        DWORD byteCount;
    };
    const Case cases[] = {
        {"key without values", REG_NONE, 0},      {"REG_SZ of 2 bytes", REG_SZ, 2},
        {"REG_BINARY of 4 bytes", REG_BINARY, 4}, {"REG_DWORD_BIG_ENDIAN of 4 bytes", REG_DWORD_BIG_ENDIAN, 4},
        {"REG_DWORD of 3 bytes", REG_DWORD, 3},   {"REG_DWORD of 8 bytes", REG_DWORD, 8},
        {"REG_QWORD of 8 bytes", REG_QWORD, 8},   {"REG_MULTI_SZ of 65536 bytes", REG_MULTI_SZ, 65536},
    };
    const wchar_t* names[] = {L"Background", L"Number of balls", L"Opaque", L"Scale of balls"};
    const BYTE numbers[] = {1, 10, 60, 1};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKeyPath);
        ASSERT_NO_FATAL_FAILURE(createEmptyKey(HKEY_CURRENT_USER));
        if (c.byteCount > 0)
            for (int i = 0; i < 4; ++i) {
                std::vector<BYTE> data = displayValueData(numbers[i], c.byteCount);
                ASSERT_NO_FATAL_FAILURE(putValue(HKEY_CURRENT_USER, names[i], c.type, data.data(), c.byteCount));
            }
        const std::string before = userKeyImage();

        HWND host = createHostWindow(300, 200);
        ChildProcess run;
        HWND dialog = nullptr;
        ASSERT_NO_FATAL_FAILURE(
            startSettingsOf(run, quotedSaver() + L" /c:" + handleText(host), host, kBound, &dialog));
        EXPECT_EQ(7, SendMessageA(GetDlgItem(dialog, IDC_BALL_COUNT), TBM_GETPOS, 0, 0));
        EXPECT_EQ(75, SendMessageA(GetDlgItem(dialog, IDC_OPACITY), TBM_GETPOS, 0, 0));
        EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(dialog, IDC_BACKGROUND_DESKTOP));
        EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(dialog, IDC_SCALE_100));
        PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
        EXPECT_EQ(0, run.exitCodeWithin(kBound));
        EXPECT_EQ(before, userKeyImage());
        DestroyWindow(host);
    }
}

}  // namespace
