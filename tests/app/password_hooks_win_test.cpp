// Tests of the password hooks. Each case runs the probe program in a fresh
// folder beside the chosen stand-in libraries. Wine's per-program settings give
// the probe named kLegacyProbe the Windows 98 platform and make both probes
// load a native MPR.DLL only (Wine has its own; an override in the child's
// environment block does not reach Wine's loader).
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "support/win_test_support.h"

namespace {

const wchar_t kLegacyProbe[] = L"zephyrine_legacy_probe.exe";
const wchar_t kCurrentProbe[] = L"zephyrine_probe.exe";
const char kCaption[] = "Password probe";

// What a scenario folder holds under a library's name.
enum class Library { absent, standIn, otherStandIn };

// The stored "ScreenSaveUsePassword": absent, a REG_DWORD, or 8 bytes of
// REG_BINARY (too long to read).
struct UsePassword {
    enum Kind { absent, dword, tooLong } kind;
    DWORD value;
};

struct ProbeRun {
    bool ended;
    DWORD exitCode;
    std::vector<std::string> log;
};

bool placeLibrary(const std::wstring& folder, const wchar_t* name, Library library)
{
    if (library == Library::absent) return true;
    const wchar_t* source =
        (std::wstring(name) == L"PASSWORD.CPL") == (library == Library::standIn) ? L"PASSWORD.CPL" : L"MPR.DLL";
    return copyFileTo(testProgramDirectory() + L"\\password_libs\\" + source, folder + L"\\" + name);
}

bool startsWithName(const wchar_t* entry, const wchar_t* name)
{
    size_t length = wcslen(name);
    return _wcsnicmp(entry, name, length) == 0 && entry[length] == L'=';
}

// This process's environment with the log and the libraries' result set.
std::wstring probeEnvironment(const std::wstring& logPath, int libraryResult)
{
    const wchar_t* ours[] = {L"ZEPHYRINE_PASSWORD_LOG", L"ZEPHYRINE_PASSWORD_RESULT"};
    std::wstring block;
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* entry = strings; *entry; entry += wcslen(entry) + 1) {
        bool replaced = false;
        for (const wchar_t* name : ours) replaced = replaced || startsWithName(entry, name);
        if (!replaced) block.append(entry).push_back(L'\0');
    }
    FreeEnvironmentStringsW(strings);
    block += L"ZEPHYRINE_PASSWORD_LOG=" + logPath;
    block.push_back(L'\0');
    block += L"ZEPHYRINE_PASSWORD_RESULT=" + std::to_wstring(libraryResult);
    block.push_back(L'\0');
    return block;
}

ProbeRun runProbe(const wchar_t* probeName, Library cpl, Library mpr, const std::wstring& arguments,
                  int libraryResult)
{
    ProbeRun run{false, 0, {}};
    std::wstring folder = makeTempDirectory(L"zephyrine-password");
    std::wstring probe = folder + L"\\" + probeName;
    std::wstring logPath = folder + L"\\log.txt";
    if (!copyFileTo(testProgramDirectory() + L"\\password_hooks_probe.exe", probe) ||
        !placeLibrary(folder, L"PASSWORD.CPL", cpl) || !placeLibrary(folder, L"MPR.DLL", mpr)) {
        removeDirectoryTree(folder);
        ADD_FAILURE() << "could not prepare the scenario folder";
        return run;
    }
    std::wstring environment = probeEnvironment(logPath, libraryResult);
    ChildProcess child;
    if (child.start(L"\"" + probe + L"\" " + arguments, {{}, environment, folder})) {
        const long code = child.exitCodeWithin(20000);
        run.ended = code != -1;
        run.exitCode = static_cast<DWORD>(code);
    }
    run.log = readLines(logPath);
    removeDirectoryTree(folder);
    return run;
}

void storeUsePassword(UsePassword stored)
{
    HKEY key;
    ASSERT_EQ(RegOpenKeyW(HKEY_CURRENT_USER, kDesktopKey, &key), ERROR_SUCCESS);
    if (stored.kind == UsePassword::absent) {
        RegDeleteValueW(key, kUsePasswordValue);
    } else if (stored.kind == UsePassword::dword) {
        RegSetValueExW(key, kUsePasswordValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&stored.value),
                       sizeof stored.value);
    } else {
        const BYTE bytes[8] = {1, 1, 1, 1, 1, 1, 1, 1};
        RegSetValueExW(key, kUsePasswordValue, 0, REG_BINARY, bytes, sizeof bytes);
    }
    RegCloseKey(key);
}

// Gives the legacy probe its platform and keeps whatever the user's desktop
// key held, so that the suite leaves the registry as it found it.
class PasswordHooks : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        usePassword = new SavedRegistryValue(HKEY_CURRENT_USER, kDesktopKey, kUsePasswordValue);
        for (const wchar_t* probe : {kLegacyProbe, kCurrentProbe}) {
            probeSettings.push_back(new WineProgramSettings(probe));
            probeSettings.back()->overrideDll(L"mpr", L"native");
        }
        probeSettings.front()->setVersion(L"win98");
    }

    static void TearDownTestSuite()
    {
        delete usePassword;
        usePassword = nullptr;
        // The last made goes first, so that the first can take "AppDefaults" with it.
        while (!probeSettings.empty()) {
            delete probeSettings.back();
            probeSettings.pop_back();
        }
    }

    static SavedRegistryValue* usePassword;
    static std::vector<WineProgramSettings*> probeSettings;
};

SavedRegistryValue* PasswordHooks::usePassword = nullptr;
std::vector<WineProgramSettings*> PasswordHooks::probeSettings;

// Log lines: "platform ID", then the stand-in's "VerifyScreenSavePwd HOST FLAG"
// if it was called, then "verify RESULT FLAG-AFTER PASSWORD.CPL-LOADED".
struct VerifyCase {
    const char* name;
    const wchar_t* probe;
    const wchar_t* arguments;
    UsePassword usePassword;
    Library cpl;
    int promptResult;
    DWORD expected;
    std::vector<std::string> log;
};

void PrintTo(const VerifyCase& c, std::ostream* out)
{
    *out << c.name;
}

class VerifyBeforeClose : public PasswordHooks, public ::testing::WithParamInterface<VerifyCase> {};

TEST_P(VerifyBeforeClose, AllowsOrAsksThePrompt)
{
    const VerifyCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(storeUsePassword(c.usePassword));
    ProbeRun run = runProbe(c.probe, c.cpl, Library::absent, c.arguments, c.promptResult);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, c.expected);
    EXPECT_EQ(run.log, c.log);
}

const UsePassword kNoValue{UsePassword::absent, 0};
const UsePassword kPasswordSet{UsePassword::dword, 1};

// Every case that must not ask offers a set password and a prompt that would
// refuse, so a prompt line or a 0 shows a wrong path.
INSTANTIATE_TEST_SUITE_P(
    Cases, VerifyBeforeClose,
    ::testing::Values(VerifyCase{"PreviewNeverAsks",
                                 kLegacyProbe,
                                 L"verify 0 4660",
                                 kPasswordSet,
                                 Library::standIn,
                                 0,
                                 1,
                                 {"platform 1", "verify 1 0 0"}},
                      VerifyCase{"CurrentPlatformNeverAsks",
                                 kCurrentProbe,
                                 L"verify 1 4660",
                                 kPasswordSet,
                                 Library::standIn,
                                 0,
                                 1,
                                 {"platform 2", "verify 1 0 0"}},
                      VerifyCase{"DesktopKeyMissingAllows",
                                 kLegacyProbe,
                                 L"verify 1 4660 empty-user",
                                 kPasswordSet,
                                 Library::standIn,
                                 0,
                                 1,
                                 {"platform 1", "verify 1 0 0"}},
                      VerifyCase{"ValueMissingAllows",
                                 kLegacyProbe,
                                 L"verify 1 4660",
                                 kNoValue,
                                 Library::standIn,
                                 0,
                                 1,
                                 {"platform 1", "verify 1 0 0"}},
                      VerifyCase{"ValueZeroAllows",
                                 kLegacyProbe,
                                 L"verify 1 4660",
                                 UsePassword{UsePassword::dword, 0},
                                 Library::standIn,
                                 0,
                                 1,
                                 {"platform 1", "verify 1 0 0"}},
                      VerifyCase{"ValueTooLongAllows",
                                 kLegacyProbe,
                                 L"verify 1 4660",
                                 UsePassword{UsePassword::tooLong, 0},
                                 Library::standIn,
                                 0,
                                 1,
                                 {"platform 1", "verify 1 0 0"}},
                      VerifyCase{"LibraryMissingAllows",
                                 kLegacyProbe,
                                 L"verify 1 4660",
                                 kPasswordSet,
                                 Library::absent,
                                 0,
                                 1,
                                 {"platform 1", "verify 1 0 0"}},
                      VerifyCase{"EntryPointMissingAllows",
                                 kLegacyProbe,
                                 L"verify 1 4660",
                                 kPasswordSet,
                                 Library::otherStandIn,
                                 0,
                                 1,
                                 {"platform 1", "verify 1 0 1"}},
                      VerifyCase{"PromptRefusalKeepsRunning",
                                 kLegacyProbe,
                                 L"verify 1 4660",
                                 kPasswordSet,
                                 Library::standIn,
                                 0,
                                 0,
                                 {"platform 1", "VerifyScreenSavePwd 4660 1", "verify 0 0 1"}},
                      // 0x100 is nonzero only when all four bytes are read.
                      VerifyCase{"PromptResultReturnedUnchanged",
                                 kLegacyProbe,
                                 L"verify 1 0",
                                 UsePassword{UsePassword::dword, 0x100},
                                 Library::standIn,
                                 7,
                                 7,
                                 {"platform 1", "VerifyScreenSavePwd 0 1", "verify 7 0 1"}}),
    [](const ::testing::TestParamInfo<VerifyCase>& info) { return std::string(info.param.name); });

// Log lines: "platform ID", the stand-in's "PwdChangePasswordA PROVIDER HOST
// R1 R2" if it was called, then "change CODE MPR-LOADED-BEFORE MPR-LOADED-AFTER".
struct ChangeCase {
    const char* name;
    Library mpr;
    DWORD expected;
    const char* message;  // nullptr: no message box
    std::vector<std::string> log;
};

void PrintTo(const ChangeCase& c, std::ostream* out)
{
    *out << c.name;
}

class RunChangePassword : public PasswordHooks, public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(RunChangePassword, CallsTheSystemOrReports)
{
    const ChangeCase& c = GetParam();
    std::vector<SeenMessageBox> boxes;
    ProbeRun run;
    {
        MessageBoxCloser closer;
        run = runProbe(kCurrentProbe, Library::absent, c.mpr, L"change 4660", 5);
        boxes = closer.seen();
    }
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, c.expected);
    EXPECT_EQ(run.log, c.log);
    if (!c.message) {
        EXPECT_TRUE(boxes.empty());
        return;
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, kCaption);
    EXPECT_EQ(boxes[0].text, c.message);
    EXPECT_TRUE(boxes[0].hasIcon);
}

// The library's result (5) is ignored, and it is freed on every path.
INSTANTIATE_TEST_SUITE_P(
    Cases, RunChangePassword,
    ::testing::Values(
        ChangeCase{"LibraryMissing",
                   Library::absent,
                   1,
                   "File MPR.DLL not found! (This file needed for change password.)",
                   {"platform 2", "change 1 0 0"}},
        ChangeCase{"EntryPointMissing",
                   Library::otherStandIn,
                   1,
                   "Function PwdChangePasswordA in file MPR.DLL not fount! (This function needed for change "
                   "password.)",
                   {"platform 2", "change 1 0 0"}},
        ChangeCase{"CallsWithProviderAndHost",
                   Library::standIn,
                   0,
                   nullptr,
                   {"platform 2", "PwdChangePasswordA SCRSAVE 4660 0 0", "change 0 0 0"}}),
    [](const ::testing::TestParamInfo<ChangeCase>& info) { return std::string(info.param.name); });

}  // namespace
