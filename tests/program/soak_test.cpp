// The real saver over time and under faults: its private bytes and handles
// stay flat through a long run, the counted build deletes every GDI and GDI+
// object it creates, and closes that the password verification refuses leave
// it running. ZEPHYRINE_SOAK_SECONDS sets the length of the long run.
#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/win_test_support.h"

namespace {

constexpr DWORD kDefaultSoakSeconds = 60;
constexpr DWORD kSampleSeconds = 10;
constexpr DWORD kPreviewSeconds = 30;
constexpr DWORD kCountedSeconds = 30;
constexpr DWORD kQuick = 15000;
constexpr int kWarmUpSamples = 1;
constexpr SIZE_T kFlatBytes = 1024 * 1024;
constexpr int kBallCount = 30;

const wchar_t kUserKey[] = L"Software\\Quorvane\\Zephyrine";

DWORD soakSeconds()
{
    char text[32];
    DWORD length = GetEnvironmentVariableA("ZEPHYRINE_SOAK_SECONDS", text, sizeof text);
    if (length == 0 || length >= sizeof text) return kDefaultSoakSeconds;
    long seconds = std::strtol(text, nullptr, 10);
    return seconds >= 20 ? static_cast<DWORD>(seconds) : kDefaultSoakSeconds;
}

std::wstring countedDirectory()
{
    return testProgramDirectory() + L"\\..\\counted";
}

std::wstring quoted(const std::wstring& path)
{
    return L"\"" + path + L"\"";
}

void writeUserDword(const wchar_t* name, DWORD value)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_CURRENT_USER, kUserKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

struct Sample {
    DWORD seconds;
    SIZE_T privateBytes;
    SIZE_T workingSet;
    DWORD handles;
};

// The system's handle list, one entry per open handle of any process.
struct SystemHandleEntry {
    ULONG ownerProcessId;
    BYTE objectType;
    BYTE flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};

struct SystemHandleList {
    ULONG count;
    SystemHandleEntry entries[1];
};

constexpr SYSTEM_INFORMATION_CLASS kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);

// The handles that the process holds, counted in the system's handle list;
// -1 when the list cannot be read.
long countHandlesInSystemList(DWORD processId)
{
    std::vector<char> buffer(1 << 16);
    NTSTATUS status;
    ULONG needed = 0;
    while ((status = NtQuerySystemInformation(kSystemHandleInformation, buffer.data(),
                                              static_cast<ULONG>(buffer.size()), &needed)) == kInfoLengthMismatch)
        buffer.resize(buffer.size() * 2);
    if (status != 0) return -1;
    const auto* list = reinterpret_cast<const SystemHandleList*>(buffer.data());
    long count = 0;
    for (ULONG i = 0; i < list->count; ++i) count += list->entries[i].ownerProcessId == processId;
    return count;
}

// Private bytes are the commit charge, which Windows reports both as
// PrivateUsage and as PagefileUsage; Wine fills only PagefileUsage (resident
// anonymous memory plus swap). Wine's GetProcessHandleCount answers 0 for
// every process, so a 0 is replaced by the count in the system's handle list.
bool takeSample(const ChildProcess& child, DWORD seconds, Sample* sample)
{
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    DWORD handles = 0;
    if (!GetProcessMemoryInfo(child.process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory) ||
        !GetProcessHandleCount(child.process, &handles))
        return false;
    if (handles == 0) {
        long listed = countHandlesInSystemList(child.id);
        if (listed < 0) return false;
        handles = static_cast<DWORD>(listed);
    }
    SIZE_T privateBytes = memory.PrivateUsage != 0 ? memory.PrivateUsage : memory.PagefileUsage;
    *sample = Sample{seconds, privateBytes, memory.WorkingSetSize, handles};
    return true;
}

void printSamples(const char* title, const std::vector<Sample>& samples)
{
    std::printf("%s\n", title);
    std::printf("  %6s  %14s  %12s  %14s  %7s\n", "time s", "private bytes", "change KiB", "working set",
                "handles");
    for (const Sample& s : samples) {
        double change = (double(s.privateBytes) - double(samples.front().privateBytes)) / 1024.0;
        std::printf("  %6lu  %14llu  %12.0f  %14llu  %7lu\n", static_cast<unsigned long>(s.seconds),
                    static_cast<unsigned long long>(s.privateBytes), change,
                    static_cast<unsigned long long>(s.workingSet), static_cast<unsigned long>(s.handles));
    }
    std::fflush(stdout);
}

// Samples the running child every kSampleSeconds for the given time, with a
// first sample at 0, while this thread keeps dispatching its messages.
std::vector<Sample> sampleWhileRunning(ChildProcess& child, DWORD seconds)
{
    std::vector<Sample> samples;
    for (DWORD at = 0; at <= seconds; at += kSampleSeconds) {
        if (at > 0) pumpMessagesFor(kSampleSeconds * 1000);
        Sample sample;
        if (!isRunning(child)) {
            ADD_FAILURE() << "the saver ended on its own after " << at << " s";
            break;
        }
        if (!takeSample(child, at, &sample)) {
            ADD_FAILURE() << "no sample at " << at << " s: error " << GetLastError();
            break;
        }
        samples.push_back(sample);
    }
    return samples;
}

// After the warm-up the private bytes stay within kFlatBytes and the handle
// count does not change.
void expectFlat(const std::vector<Sample>& samples)
{
    ASSERT_GT(samples.size(), size_t(kWarmUpSamples + 1));
    auto settled = samples.begin() + kWarmUpSamples;
    auto byBytes = [](const Sample& a, const Sample& b) { return a.privateBytes < b.privateBytes; };
    SIZE_T lowest = std::min_element(settled, samples.end(), byBytes)->privateBytes;
    SIZE_T highest = std::max_element(settled, samples.end(), byBytes)->privateBytes;
    EXPECT_LE(highest - lowest, kFlatBytes) << "private bytes grew after the warm-up";
    for (auto s = settled; s != samples.end(); ++s)
        EXPECT_EQ(settled->handles, s->handles) << "handles at " << s->seconds << " s";
}

// created and deleted per kind, from the counted build's object-counts.txt.
struct Counts {
    long created;
    long deleted;
};

std::map<std::string, Counts> readObjectCounts(const std::wstring& path)
{
    std::map<std::string, Counts> counts;
    std::ifstream file{std::filesystem::path(path)};
    std::string name;
    long created = 0;
    long deleted = 0;
    while (file >> name >> created >> deleted) counts[name] = {created, deleted};
    return counts;
}

void printObjectCounts(const char* title, const std::map<std::string, Counts>& counts)
{
    std::printf("%s\n  %-16s %9s %9s\n", title, "object", "created", "deleted");
    for (const auto& entry : counts)
        std::printf("  %-16s %9ld %9ld\n", entry.first.c_str(), entry.second.created, entry.second.deleted);
    std::fflush(stdout);
}

// Every kind balances; surfaces, pictures and thumbnails exist once each, and
// at least minimumFrames frames made their two GDI+ objects.
void expectBalanced(const std::map<std::string, Counts>& counts, long minimumFrames)
{
    const char* const kinds[] = {"memoryDC", "bitmap", "graphics", "imageAttributes", "picture", "thumbnail"};
    ASSERT_EQ(std::size(kinds), counts.size()) << "object-counts.txt is missing or incomplete";
    for (const char* kind : kinds) {
        ASSERT_EQ(1u, counts.count(kind)) << kind;
        EXPECT_EQ(counts.at(kind).created, counts.at(kind).deleted) << kind;
    }
    EXPECT_EQ(2, counts.at("memoryDC").created);
    EXPECT_EQ(2, counts.at("bitmap").created);
    EXPECT_EQ(8, counts.at("picture").created);
    EXPECT_EQ(8, counts.at("thumbnail").created);
    EXPECT_GE(counts.at("graphics").created, minimumFrames);
    EXPECT_EQ(counts.at("graphics").created, counts.at("imageAttributes").created);
}

// The installed pictures and 30 balls at full scale and 75 % over the desktop.
class SoakTest : public testing::Test {
protected:
    void SetUp() override
    {
        deleteZephyrineKeys();
        writeInstallPath(distDirectory());
        ASSERT_NO_FATAL_FAILURE(writeUserDword(L"Number of balls", kBallCount));
        ASSERT_NO_FATAL_FAILURE(writeUserDword(L"Opaque", 75));
        ASSERT_NO_FATAL_FAILURE(writeUserDword(L"Background", 0));
        ASSERT_NO_FATAL_FAILURE(writeUserDword(L"Scale of balls", 2));
    }
    void TearDown() override { deleteZephyrineKeys(); }
};

TEST_F(SoakTest, FullScreenKeepsMemoryAndHandlesFlat)
{
    ASSERT_EQ(1920, GetSystemMetrics(SM_CXSCREEN));
    ASSERT_EQ(1080, GetSystemMetrics(SM_CYSCREEN));
    const DWORD seconds = soakSeconds();
    ChildProcess child;
    ASSERT_TRUE(child.start(quoted(saverPath()) + L" /s"));
    HWND saver = waitForProcessWindow(child.id, "ZEPHYRINE", kQuick);
    ASSERT_NE(nullptr, saver);
    pumpMessagesFor(1000);
    std::vector<Sample> samples = sampleWhileRunning(child, seconds);
    char title[120];
    std::snprintf(title, sizeof title, "full-screen saver, %d balls, 1920x1080, %lu s", kBallCount,
                  static_cast<unsigned long>(seconds));
    printSamples(title, samples);
    ASSERT_NO_FATAL_FAILURE(expectFlat(samples));
    PostMessageA(saver, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(0, child.exitCodeWithin(kQuick));
}

TEST_F(SoakTest, PreviewKeepsMemoryAndHandlesFlat)
{
    HWND host = createHostWindow(320, 240);
    ASSERT_NE(nullptr, host);
    ChildProcess child;
    ASSERT_TRUE(child.start(quoted(saverPath()) + L" /p " + handleText(host)));
    ASSERT_NE(nullptr, waitForChildWindow(host, "ZEPHYRINE", kQuick));
    pumpMessagesFor(1000);
    std::vector<Sample> samples = sampleWhileRunning(child, kPreviewSeconds);
    printSamples("preview in a 320x240 host, 30 balls", samples);
    ASSERT_NO_FATAL_FAILURE(expectFlat(samples));
    DestroyWindow(host);
    EXPECT_EQ(0, child.exitCodeWithin(kQuick));
}

class CountedTest : public SoakTest {
protected:
    void SetUp() override
    {
        SoakTest::SetUp();
        DeleteFileW(countsPath.c_str());
    }
    void TearDown() override
    {
        DeleteFileW(countsPath.c_str());
        SoakTest::TearDown();
    }
    const std::wstring program = countedDirectory() + L"\\Zephyrine_counted.scr";
    const std::wstring countsPath = countedDirectory() + L"\\object-counts.txt";
};

TEST_F(CountedTest, FullScreenDeletesEveryObjectItCreates)
{
    ChildProcess child;
    ASSERT_TRUE(child.start(quoted(program) + L" /s"));
    HWND saver = waitForProcessWindow(child.id, "ZEPHYRINE", kQuick);
    ASSERT_NE(nullptr, saver);
    pumpMessagesFor(kCountedSeconds * 1000);
    ASSERT_TRUE(isRunning(child));
    PostMessageA(saver, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(0, child.exitCodeWithin(kQuick));
    std::map<std::string, Counts> counts = readObjectCounts(countsPath);
    printObjectCounts("counted build, full screen for 30 s, ended by a key", counts);
    // The 30 ms timer asks for about 33 frames a second; a busy machine
    // composes fewer.
    ASSERT_NO_FATAL_FAILURE(expectBalanced(counts, 10 * kCountedSeconds));
}

TEST_F(CountedTest, PreviewDeletesEveryObjectWhenItsHostIsDestroyed)
{
    HWND host = createHostWindow(320, 240);
    ASSERT_NE(nullptr, host);
    ChildProcess child;
    ASSERT_TRUE(child.start(quoted(program) + L" /p " + handleText(host)));
    ASSERT_NE(nullptr, waitForChildWindow(host, "ZEPHYRINE", kQuick));
    pumpMessagesFor(3000);
    ASSERT_TRUE(isRunning(child));
    DestroyWindow(host);
    EXPECT_EQ(0, child.exitCodeWithin(kQuick));
    std::map<std::string, Counts> counts = readObjectCounts(countsPath);
    printObjectCounts("counted build, preview for 3 s, ended by destroying the host", counts);
    ASSERT_NO_FATAL_FAILURE(expectBalanced(counts, 1));
}

// The counted build as the legacy platform runs it, with a password in use:
// a copy under its own name, which Wine's per-program settings give the
// Windows 98 platform, beside the stand-in PASSWORD.CPL, which logs each
// verification and refuses it.
class RefusedCloseTest : public SoakTest {
protected:
    void SetUp() override
    {
        SoakTest::SetUp();
        folder = makeTempDirectory(L"zephyrine-legacy");
        ASSERT_TRUE(copyFileTo(countedDirectory() + L"\\Zephyrine_counted.scr", folder + L"\\" + kLegacyName));
        ASSERT_TRUE(
            copyFileTo(testProgramDirectory() + L"\\password_libs\\PASSWORD.CPL", folder + L"\\PASSWORD.CPL"));
        legacyPlatform = std::make_unique<WineProgramSettings>(kLegacyName);
        legacyPlatform->setVersion(L"win98");
        usePassword = std::make_unique<SavedRegistryValue>(HKEY_CURRENT_USER, kDesktopKey, kUsePasswordValue);
        const DWORD inUse = 1;
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, kDesktopKey, kUsePasswordValue, REG_DWORD,
                                                 &inUse, sizeof inUse));
        SetEnvironmentVariableW(L"ZEPHYRINE_PASSWORD_LOG", logPath().c_str());
        SetEnvironmentVariableW(L"ZEPHYRINE_PASSWORD_RESULT", L"0");
    }

    void TearDown() override
    {
        SetEnvironmentVariableW(L"ZEPHYRINE_PASSWORD_LOG", nullptr);
        SetEnvironmentVariableW(L"ZEPHYRINE_PASSWORD_RESULT", nullptr);
        usePassword.reset();
        legacyPlatform.reset();
        removeDirectoryTree(folder);
        SoakTest::TearDown();
    }

    std::wstring logPath() const { return folder + L"\\verifications.txt"; }

    // The stand-in's log: one line per verification.
    std::vector<std::string> verifications() const { return readLines(logPath()); }

    static constexpr wchar_t kLegacyName[] = L"zephyrine_legacy_saver.scr";
    std::wstring folder;
    std::unique_ptr<WineProgramSettings> legacyPlatform;
    std::unique_ptr<SavedRegistryValue> usePassword;
};

// Every close request asks the verification, which refuses; the saver runs
// on and each later request asks again. A destroy still releases everything.
TEST_F(RefusedCloseTest, EveryRequestIsVerifiedAndRefusedUntilTheWindowIsDestroyed)
{
    ChildProcess child;
    ASSERT_TRUE(child.start(quoted(folder + L"\\" + kLegacyName) + L" /s"));
    HWND saver = waitForProcessWindow(child.id, "ZEPHYRINE", kQuick);
    ASSERT_NE(nullptr, saver);
    pumpMessagesFor(500);
    struct Request {
        UINT message;
        WPARAM wParam;
    };
    const Request requests[] = {{WM_KEYDOWN, VK_SPACE},
                                {WM_LBUTTONDOWN, 0},
                                {WM_CLOSE, 0},
                                {WM_POWERBROADCAST, PBT_APMSUSPEND},
                                {WM_KEYDOWN, VK_ESCAPE}};
    size_t asked = 0;
    for (const Request& request : requests) {
        SCOPED_TRACE(testing::Message() << "message 0x" << std::hex << request.message);
        PostMessageA(saver, request.message, request.wParam, 0);
        pumpMessagesFor(500);
        ASSERT_TRUE(isRunning(child)) << "a refused close must leave the saver running";
        std::vector<std::string> log = verifications();
        ASSERT_EQ(++asked, log.size());
        // The host handle is null in full-screen mode; the copy exports no flag.
        EXPECT_EQ("VerifyScreenSavePwd 0 -1", log.back());
    }
    PostMessageA(saver, WM_DESTROY, 0, 0);
    EXPECT_EQ(0, child.exitCodeWithin(kQuick));
    std::map<std::string, Counts> counts = readObjectCounts(folder + L"\\object-counts.txt");
    printObjectCounts("counted build, five refused closes, then destroyed", counts);
    ASSERT_NO_FATAL_FAILURE(expectBalanced(counts, 10));
}

}  // namespace
