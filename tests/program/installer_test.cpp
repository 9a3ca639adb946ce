// The real setup program and uninstaller: silent installation into a chosen
// folder, the registry they write and remove, the current screen saver, and
// the installed saver started from its folder.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "support/win_test_support.h"

namespace {

constexpr DWORD kQuick = 15000;
const wchar_t kMachineKey[] = L"Software\\Quorvane\\Zephyrine";
const wchar_t kVendorKey[] = L"Software\\Quorvane";
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zephyrine";
const wchar_t kScreenSaverValue[] = L"SCRNSAVE.EXE";
const wchar_t kOtherSaver[] = L"C:\\windows\\system32\\other.scr";
const wchar_t* const kPayload[] = {L"Zephyrine.scr", L"1.png", L"2.png", L"3.png", L"4.png",
                                   L"5.png",         L"6.png", L"7.png", L"8.png"};

std::wstring fullPath(const std::wstring& path)
{
    wchar_t full[MAX_PATH];
    DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return n > 0 && n < MAX_PATH ? std::wstring(full, n) : path;
}

std::wstring setupProgram()
{
    return fullPath(distDirectory() + L"\\..\\" ZEPHYRINE_SETUP_NAME);
}

std::wstring settingsHostProgram()
{
    return fullPath(distDirectory() + L"\\..\\tools\\settings_host.exe");
}

bool sameText(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The long form of an existing file's path, so that short and long spellings
// compare equal; the path itself when the file does not exist.
std::wstring longPath(const std::wstring& path)
{
    wchar_t buffer[MAX_PATH];
    DWORD n = GetLongPathNameW(path.c_str(), buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : path;
}

bool readString(HKEY root, const wchar_t* key, const wchar_t* name, std::wstring* value)
{
    wchar_t buffer[1024];
    DWORD size = sizeof buffer;
    if (RegGetValueW(root, key, name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS) return false;
    *value = buffer;
    return true;
}

bool readDword(HKEY root, const wchar_t* key, const wchar_t* name, DWORD* value)
{
    DWORD size = sizeof *value;
    return RegGetValueW(root, key, name, RRF_RT_REG_DWORD, nullptr, value, &size) == ERROR_SUCCESS;
}

void writeString(HKEY root, const wchar_t* key, const wchar_t* name, const std::wstring& value)
{
    RegSetKeyValueW(root, key, name, REG_SZ, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void writeDword(HKEY root, const wchar_t* key, const wchar_t* name, DWORD value)
{
    RegSetKeyValueW(root, key, name, REG_DWORD, &value, sizeof value);
}

bool fileExists(const std::wstring& path)
{
    std::error_code error;
    return std::filesystem::exists(path, error);
}

// Names in a folder.
std::vector<std::wstring> folderEntries(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        names.push_back(entry.path().filename().wstring());
    return names;
}

std::wstring imagePath(HANDLE process)
{
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    return QueryFullProcessImageNameW(process, 0, path, &size) ? std::wstring(path, size) : std::wstring();
}

// Runs the installed saver in preview mode inside a host window of the test
// and ends it by destroying the host; returns the exit code (-1: no preview
// window or no end).
long runPreview(const std::wstring& saver, std::wstring* image)
{
    HWND host = createHostWindow(320, 240);
    ChildProcess child;
    if (!child.start(L"\"" + saver + L"\" /p " + handleText(host))) return -1;
    HWND preview = waitForChildWindow(host, "ZEPHYRINE", kQuick);
    if (image) *image = imagePath(child.process);
    DestroyWindow(host);
    long code = child.exitCodeWithin(kQuick);
    return preview ? code : -1;
}

// A visible dialog whose owner window belongs to the process.
HWND waitForDialogOwnedByProcess(DWORD processId, DWORD timeoutMs)
{
    return waitForWindow(
        [&](HWND window) {
            HWND owner = GetWindow(window, GW_OWNER);
            DWORD ownerProcess = 0;
            if (owner) GetWindowThreadProcessId(owner, &ownerProcess);
            return className(window) == "#32770" && ownerProcess == processId;
        },
        timeoutMs);
}

class InstallerTest : public testing::Test {
protected:
    void SetUp() override
    {
        savedScreenSaver = std::make_unique<SavedRegistryValue>(HKEY_CURRENT_USER, kDesktopKey, kScreenSaverValue);
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktopKey, kScreenSaverValue);
        clearProductKeys();
        base = makeTempDirectory(L"zephyrine-setup");
        ASSERT_FALSE(base.empty());
        folder = base + L"\\Zephyrine";
    }
    void TearDown() override
    {
        removeDirectoryTree(base);
        clearProductKeys();
        savedScreenSaver.reset();
    }
    static void clearProductKeys()
    {
        deleteZephyrineKeys();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kUninstallKey);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kVendorKey);
        RegDeleteKeyW(HKEY_CURRENT_USER, kVendorKey);
    }

    // Runs the setup program silently; /D= comes last and unquoted.
    long install(const std::wstring& switches, const std::wstring& target)
    {
        DWORD code = 0;
        std::wstring line = L"\"" + setupProgram() + L"\" /S " + switches + L" /D=" + target;
        if (!runProcess(line, kQuick, &code)) return -1;
        return static_cast<long>(code);
    }
    long install(const std::wstring& switches = L"") { return install(switches, folder); }

    // Runs the uninstaller in place and waits for it: with "_?=" it works in
    // the folder itself and so cannot delete its own file.
    long uninstallInPlace(const std::wstring& switches = L"", const std::wstring* target = nullptr)
    {
        const std::wstring& where = target ? *target : folder;
        DWORD code = 0;
        std::wstring line = L"\"" + where + L"\\uninstall.exe\" /S " + switches + L" _?=" + where;
        if (!runProcess(line, kQuick, &code)) return -1;
        return static_cast<long>(code);
    }

    std::wstring installedSaver() const { return folder + L"\\Zephyrine.scr"; }

    std::wstring screenSaver()
    {
        std::wstring value;
        return readString(HKEY_CURRENT_USER, kDesktopKey, kScreenSaverValue, &value) ? value : L"(none)";
    }

    std::wstring base;
    std::wstring folder;
    std::unique_ptr<SavedRegistryValue> savedScreenSaver;
};

TEST_F(InstallerTest, SilentInstallPutsTheBuiltFilesInTheFolder)
{
    ASSERT_EQ(0, install());
    DWORD totalBytes = 0;
    for (const wchar_t* name : kPayload) {
        SCOPED_TRACE(narrow(name));
        std::string installed = readFileBytes(folder + L"\\" + name);
        ASSERT_FALSE(installed.empty());
        EXPECT_TRUE(installed == readFileBytes(distDirectory() + L"\\" + name)) << "same bytes as the build";
        totalBytes += static_cast<DWORD>(installed.size());
    }
    std::string uninstaller = readFileBytes(folder + L"\\uninstall.exe");
    EXPECT_FALSE(uninstaller.empty());
    totalBytes += static_cast<DWORD>(uninstaller.size());
    EXPECT_EQ(10u, folderEntries(folder).size());

    DWORD estimated = 0;
    ASSERT_TRUE(readDword(HKEY_LOCAL_MACHINE, kUninstallKey, L"EstimatedSize", &estimated));
    EXPECT_NEAR(totalBytes / 1024.0, estimated, 1.0) << "kilobytes of the installed files";
}

TEST_F(InstallerTest, SilentInstallWritesTheInstallPathAndTheAddRemoveEntry)
{
    ASSERT_EQ(0, install());
    std::wstring installPath;
    ASSERT_TRUE(readString(HKEY_LOCAL_MACHINE, kMachineKey, L"Install path", &installPath));
    EXPECT_EQ(narrow(folder), narrow(installPath));

    const struct {
        const wchar_t* name;
        std::wstring expected;
    } strings[] = {
        {L"DisplayName", L"Zephyrine"},
        {L"DisplayVersion", ZEPHYRINE_VERSION},
        {L"Publisher", L"Quorvane"},
        {L"DisplayIcon", folder + L"\\Zephyrine.scr,0"},
        {L"InstallLocation", folder},
        {L"UninstallString", L"\"" + folder + L"\\uninstall.exe\""},
        {L"QuietUninstallString", L"\"" + folder + L"\\uninstall.exe\" /S"},
    };
    for (const auto& entry : strings) {
        SCOPED_TRACE(narrow(entry.name));
        std::wstring value;
        ASSERT_TRUE(readString(HKEY_LOCAL_MACHINE, kUninstallKey, entry.name, &value));
        EXPECT_EQ(narrow(entry.expected), narrow(value));
    }
    for (const wchar_t* name : {L"NoModify", L"NoRepair"}) {
        DWORD value = 0;
        EXPECT_TRUE(readDword(HKEY_LOCAL_MACHINE, kUninstallKey, name, &value)) << narrow(name);
        EXPECT_EQ(1u, value) << narrow(name);
    }
    EXPECT_EQ(1u, ExtractIconExW(installedSaver().c_str(), -1, nullptr, nullptr, 0))
        << "the shown icon is the saver's own icon resource";
}

TEST_F(InstallerTest, TrailingBackslashOfTheFolderIsNotStored)
{
    ASSERT_EQ(0, install(L"", folder + L"\\"));
    std::wstring installPath;
    ASSERT_TRUE(readString(HKEY_LOCAL_MACHINE, kMachineKey, L"Install path", &installPath));
    EXPECT_EQ(narrow(folder), narrow(installPath));
    EXPECT_TRUE(fileExists(installedSaver()));
}

TEST_F(InstallerTest, FolderTooLongForTheProgramIsRefusedAndNothingIsInstalled)
{
    // "<folder>\Zephyrine.scr" would reach MAX_PATH characters.
    std::wstring tooLong = base + L"\\" + std::wstring(240, L'x');
    ASSERT_GE(tooLong.size() + 14, static_cast<size_t>(MAX_PATH));
    EXPECT_NE(0, install(L"", tooLong));
    EXPECT_FALSE(fileExists(tooLong));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kMachineKey));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

TEST_F(InstallerTest, InstalledSaverPreviewsAndOpensItsSettingsFromItsFolder)
{
    ASSERT_EQ(0, install());
    std::wstring image;
    EXPECT_EQ(0, runPreview(installedSaver(), &image));
    EXPECT_EQ(narrow(longPath(installedSaver())), narrow(longPath(image)));

    HWND host = createHostWindow(300, 200);
    ChildProcess child;
    HWND dialog = nullptr;
    ASSERT_NO_FATAL_FAILURE(
        startSettingsOf(child, L"\"" + installedSaver() + L"\" /c:" + handleText(host), host, kQuick, &dialog));
    PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    EXPECT_EQ(0, child.exitCodeWithin(kQuick));
    DestroyWindow(host);
}

TEST_F(InstallerTest, SettingsHostOpensTheInstalledSaversDialogAndEndsWithItsExitCode)
{
    ASSERT_EQ(0, install());
    ChildProcess host;
    ASSERT_TRUE(host.start(L"\"" + settingsHostProgram() + L"\""));
    HWND dialog = waitForDialogOwnedByProcess(host.id, kQuick);
    ASSERT_NE(nullptr, dialog) << "the settings dialog, owned by the host's window";
    char caption[64] = {};
    GetWindowTextA(dialog, caption, sizeof caption);
    EXPECT_STREQ("Settings", caption);
    PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    EXPECT_EQ(0, host.exitCodeWithin(kQuick));
}

TEST_F(InstallerTest, UninstallRemovesFilesMachineKeyAndEntryButKeepsUserSettings)
{
    ASSERT_EQ(0, install());
    writeDword(HKEY_CURRENT_USER, kMachineKey, L"Number of balls", 12);
    ASSERT_EQ(0, uninstallInPlace());

    std::vector<std::wstring> left = folderEntries(folder);
    ASSERT_EQ(1u, left.size()) << "only the running uninstaller stays";
    EXPECT_EQ("uninstall.exe", narrow(left[0]));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kMachineKey));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kVendorKey)) << "the empty vendor key goes too";
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    DWORD balls = 0;
    EXPECT_TRUE(readDword(HKEY_CURRENT_USER, kMachineKey, L"Number of balls", &balls));
    EXPECT_EQ(12u, balls);
}

TEST_F(InstallerTest, RemoveSettingsSwitchDeletesTheUserKeyAndOtherVendorKeysStay)
{
    ASSERT_EQ(0, install());
    writeDword(HKEY_CURRENT_USER, kMachineKey, L"Number of balls", 12);
    writeDword(HKEY_LOCAL_MACHINE, L"Software\\Quorvane\\Other", L"Kept", 1);
    ASSERT_EQ(0, uninstallInPlace(L"/REMOVESETTINGS"));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, kMachineKey));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kMachineKey));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, L"Software\\Quorvane\\Other"));
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Quorvane\\Other");
}

TEST_F(InstallerTest, QuietUninstallStringOfTheEntryRemovesEverything)
{
    ASSERT_EQ(0, install());
    std::wstring command;
    ASSERT_TRUE(readString(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString", &command));
    DWORD code = 99;
    ASSERT_TRUE(runProcess(command, kQuick, &code));
    EXPECT_EQ(0u, code);
    // The uninstaller goes on from a copy of itself and ends later.
    waitUntil([&] { return !fileExists(folder) && !keyExists(HKEY_LOCAL_MACHINE, kUninstallKey); }, kQuick);
    EXPECT_FALSE(fileExists(folder));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kMachineKey));
}

// The user's current screen saver across installation and uninstallation.
struct ScreenSaverCase {
    const char* name;
    const wchar_t* installSwitches;
    const wchar_t* before;       // SCRNSAVE.EXE before installing, nullptr: none
    bool userChoosesOtherLater;  // another saver chosen after installing
    bool userWritesLongForm;     // the long path of ours written after installing
    const char* afterInstall;    // "ours", "other" or "none"
    const char* afterUninstall;
};

void PrintTo(const ScreenSaverCase& c, std::ostream* out)
{
    *out << c.name;
}

class ScreenSaverChoiceTest : public InstallerTest, public testing::WithParamInterface<ScreenSaverCase> {
protected:
    std::string describe()
    {
        std::wstring value = screenSaver();
        if (value == L"(none)") return "none";
        if (sameText(longPath(value), longPath(installedSaver()))) return "ours";
        if (sameText(value, kOtherSaver)) return "other";
        return narrow(value);
    }
};

TEST_P(ScreenSaverChoiceTest, IsSetOnRequestAndResetOnlyWhenItNamesThisZephyrine)
{
    const ScreenSaverCase& c = GetParam();
    if (c.before) writeString(HKEY_CURRENT_USER, kDesktopKey, kScreenSaverValue, c.before);
    ASSERT_EQ(0, install(c.installSwitches));
    EXPECT_EQ(c.afterInstall, describe());
    if (c.userChoosesOtherLater) writeString(HKEY_CURRENT_USER, kDesktopKey, kScreenSaverValue, kOtherSaver);
    if (c.userWritesLongForm) writeString(HKEY_CURRENT_USER, kDesktopKey, kScreenSaverValue, installedSaver());
    ASSERT_EQ(0, uninstallInPlace());
    EXPECT_EQ(c.afterUninstall, describe());
}

const ScreenSaverCase kScreenSaverCases[] = {
    {"ChosenByDefaultAndReset", L"", nullptr, false, false, "ours", "none"},
    {"ReplacesAnotherAndIsReset", L"", kOtherSaver, false, false, "ours", "none"},
    {"LongFormIsRecognised", L"", nullptr, false, true, "ours", "none"},
    {"NoActivateKeepsAnother", L"/NOACTIVATE", kOtherSaver, false, false, "other", "other"},
    {"NoActivateSetsNothing", L"/NOACTIVATE", nullptr, false, false, "none", "none"},
    {"AnotherChosenLaterStays", L"", nullptr, true, false, "ours", "other"},
};

INSTANTIATE_TEST_SUITE_P(Cases, ScreenSaverChoiceTest, testing::ValuesIn(kScreenSaverCases),
                         [](const testing::TestParamInfo<ScreenSaverCase>& info) { return info.param.name; });

TEST_F(InstallerTest, FolderWithSpacesAndNonAsciiLettersWorksEndToEnd)
{
    const std::wstring parent = L"C:\\Program Files\\Z\u00e9phyr \u00dcn\u00efcode";
    const std::wstring unicodeFolder = parent + L"\\Zephyrine";
    struct TreeRemover {
        std::wstring path;
        ~TreeRemover() { removeDirectoryTree(path); }
    } remover{parent};
    removeDirectoryTree(parent);
    ASSERT_EQ(0, install(L"", unicodeFolder));
    std::wstring installPath;
    EXPECT_TRUE(readString(HKEY_LOCAL_MACHINE, kMachineKey, L"Install path", &installPath));
    EXPECT_EQ(narrow(unicodeFolder), narrow(installPath));
    const std::wstring saver = unicodeFolder + L"\\Zephyrine.scr";
    EXPECT_TRUE(sameText(longPath(screenSaver()), longPath(saver))) << narrow(screenSaver());

    EXPECT_EQ(0, runPreview(saver, nullptr));

    EXPECT_EQ(0, uninstallInPlace(L"", &unicodeFolder));
    std::vector<std::wstring> left = folderEntries(unicodeFolder);
    EXPECT_EQ(1u, left.size());
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kMachineKey));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_EQ("(none)", narrow(screenSaver()));
}

}  // namespace
