// Bad input of every kind: damaged registry values, broken pictures, odd host
// windows and command lines, in process and against the real Zephyrine.scr.
#include <windows.h>
#include <commctrl.h>
#include <gdiplus.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/startup_state_win.h"
#include "res/resource.h"
#include "saver/ball_field.h"
#include "saver/ball_images_win.h"
#include "settings/settings.h"
#include "settings/settings_store_win.h"
#include "support/win_test_support.h"

namespace {

const char kDamaged[] = "Registry information is damaged. Please reinstall screen saver";
const char kImagesNotFound[] = "Images not found, please reinstall the screen saver!";
// Every run of the saver must end within this, and every window it shows
// must appear within it.
constexpr DWORD kBound = 15000;

std::string narrow(const std::wstring& text)
{
    std::string bytes;
    for (wchar_t unit : text) bytes += unit < 128 ? static_cast<char>(unit) : '?';
    return bytes;
}

// ---------------------------------------------------------------------------
// The registry

struct ValueType {
    DWORD type;
    const char* name;
};

const ValueType kValueTypes[] = {
    {REG_NONE, "REG_NONE"},
    {REG_SZ, "REG_SZ"},
    {REG_EXPAND_SZ, "REG_EXPAND_SZ"},
    {REG_BINARY, "REG_BINARY"},
    {REG_DWORD, "REG_DWORD"},
    {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN"},
    {REG_LINK, "REG_LINK"},
    {REG_MULTI_SZ, "REG_MULTI_SZ"},
    {REG_QWORD, "REG_QWORD"},
};

const DWORD kDataSizes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 521, 522, 1024, 65536};

void createEmptyKey(HKEY root)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, kSettingsKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &key, nullptr));
    RegCloseKey(key);
}

// Stores byteCount bytes of data; data must hold two more bytes after them,
// which are non-zero so that the registry adds no terminator of its own.
void putValue(HKEY root, const wchar_t* name, DWORD type, const void* data, DWORD byteCount)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, kSettingsKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &key, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), byteCount));
    DWORD storedType = 0;
    DWORD storedCount = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, name, nullptr, &storedType, nullptr, &storedCount));
    EXPECT_EQ(type, storedType);
    EXPECT_EQ(byteCount, storedCount) << "the registry stored another size than asked";
    RegCloseKey(key);
}

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

// The whole user key as one comparable text: its values' names, types and
// data; "none" when the key does not exist.
std::string userKeyImage()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return "none";
    std::string image = "key";
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        DWORD type = 0;
        std::vector<BYTE> data(70000);
        DWORD byteCount = static_cast<DWORD>(data.size());
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data.data(), &byteCount) !=
            ERROR_SUCCESS)
            break;
        image += "|" + narrow(std::wstring(name, nameLength)) + ":" + std::to_string(type) + ":" +
                 std::string(data.begin(), data.begin() + byteCount);
    }
    RegCloseKey(key);
    return image;
}

// Fills the whole offered buffer with '#' before the real query, so that a
// read past the returned data would show up in the result.
LSTATUS WINAPI markingQuery(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                            LPDWORD byteCount)
{
    if (data != nullptr && byteCount != nullptr)
        for (DWORD i = 0; i + 1 < *byteCount; i += 2) {
            data[i] = '#';
            data[i + 1] = 0;
        }
    return RegQueryValueExW(key, name, reserved, type, data, byteCount);
}

Settings recordWith(int32_t ballCount, int32_t opacityPercent, int32_t backgroundType, int32_t ballScale)
{
    Settings record{};
    lstrcpyW(record.installPath, L"C:\\Before");
    record.ballCount = ballCount;
    record.opacityPercent = opacityPercent;
    record.backgroundType = backgroundType;
    record.ballScale = ballScale;
    return record;
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
                SCOPED_TRACE(testing::Message() << narrow(value.name) << " " << type.name << " " << size << " bytes");
                RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKeyPath);
                std::vector<BYTE> data = displayValueData(value.number, size);
                putValue(HKEY_CURRENT_USER, value.name, type.type, data.data(), size);
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
            putValue(HKEY_LOCAL_MACHINE, L"Install path", type.type, data.data(), size);
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
    createEmptyKey(HKEY_CURRENT_USER);
    createEmptyKey(HKEY_LOCAL_MACHINE);
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
// The real saver as a child process

std::wstring saverPath()
{
    return distDirectory() + L"\\Zephyrine.scr";
}

std::wstring quotedSaver()
{
    return L"\"" + saverPath() + L"\"";
}

// Starts the saver with exactly `line` as its command line: the program is
// named apart from it, so the line need not name the program at all.
bool startWithExactLine(ChildProcess& child, const std::wstring& line)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    std::vector<wchar_t> mutableLine(line.begin(), line.end());
    mutableLine.push_back(0);
    if (!CreateProcessW(saverPath().c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started))
        return false;
    CloseHandle(started.hThread);
    child.process = started.hProcess;
    child.id = started.dwProcessId;
    return true;
}

bool isRunning(const ChildProcess& child)
{
    return WaitForSingleObject(child.process, 0) == WAIT_TIMEOUT;
}

LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

// A borderless window of the test whose client area is exactly width x height,
// standing in for the system's screen-saver control panel.
HWND createBorderlessHost(int width, int height)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = hostProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "ZephyrineBadInputHost";
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, "ZephyrineBadInputHost", "Host", WS_POPUP | WS_VISIBLE, 40, 40, width, height,
                           nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

// A window number that no window has: a window made and destroyed at once.
HWND destroyedWindow()
{
    HWND window = createBorderlessHost(10, 10);
    DestroyWindow(window);
    return window;
}

std::string windowText(HWND window)
{
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// The preview ball size for a host of the given height at the default scale.
int previewBallSize(int hostHeight)
{
    return computeBallSize(0, hostHeight, GetSystemMetrics(SM_CYSCREEN), 2);
}

// Every child-run test starts with the build's pictures installed and no user
// key, and ends with no keys.
class SaverRunTest : public testing::Test {
protected:
    void SetUp() override
    {
        deleteZephyrineKeys();
        writeInstallPath(distDirectory());
    }
    void TearDown() override { deleteZephyrineKeys(); }
};

// What a run ends with when it ends on its own, before any window.
struct QuickEnd {
    long exitCode;
    const char* message;  // null: no message box
};

// Runs the saver with `line` under a message-box closer and checks that it
// ends within the bound with the exit code and the one message expected.
void expectQuickEnd(const std::wstring& line, QuickEnd expected)
{
    MessageBoxCloser closer;
    ChildProcess run;
    ASSERT_TRUE(startWithExactLine(run, line));
    EXPECT_EQ(expected.exitCode, run.exitCodeWithin(kBound));
    std::vector<SeenMessageBox> boxes = closer.seen();
    if (expected.message == nullptr) {
        EXPECT_TRUE(boxes.empty()) << boxes.front().text;
    } else {
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ(expected.message, boxes[0].text);
        EXPECT_EQ("Zephyrine", boxes[0].caption);
        EXPECT_TRUE(boxes[0].hasIcon);
    }
}

// A configure command line without a handle: after a successful start-up it
// ends with 1 and no message, so it shows that the install path was found and
// all eight pictures loaded.
const wchar_t kStartUpProbe[] = L" /c";
const QuickEnd kStartedUp = {1, nullptr};
const QuickEnd kDamagedInstallation = {1, kDamaged};
const QuickEnd kPicturesMissing = {3, kImagesNotFound};

// The visible top-level dialogs (class "#32770") of a process.
std::vector<HWND> processDialogs(DWORD processId)
{
    struct Search {
        DWORD processId;
        std::vector<HWND> found;
    } search{processId, {}};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* s = reinterpret_cast<Search*>(context);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            char className[16] = {};
            GetClassNameA(window, className, sizeof className);
            if (owner == s->processId && IsWindowVisible(window) && std::string(className) == "#32770")
                s->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// How a configure run ended: its exit code, the settings dialogs it showed
// and their owners, and any other dialog as "caption: text".
struct ConfigureEnd {
    long exitCode = -1;
    int settingsDialogs = 0;
    std::vector<HWND> owners;
    std::vector<std::string> otherWindows;
};

// Waits for a configure run to end, cancelling its settings dialog whenever it
// shows and pressing OK on anything else. No MessageBoxCloser here: it would
// take the settings dialog for a message box and press its OK.
ConfigureEnd endConfigureRun(ChildProcess& run, DWORD timeoutMs)
{
    ConfigureEnd end;
    std::vector<HWND> handled;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        for (HWND dialog : processDialogs(run.id)) {
            bool seen = false;
            for (HWND done : handled) seen = seen || done == dialog;
            if (seen) continue;
            handled.push_back(dialog);
            if (windowText(dialog) == "Settings") {
                ++end.settingsDialogs;
                end.owners.push_back(GetWindow(dialog, GW_OWNER));
                PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
            } else {
                char text[512] = {};
                GetDlgItemTextA(dialog, 0xFFFF, text, sizeof text);
                end.otherWindows.push_back(windowText(dialog) + ": " + text);
                PostMessageA(dialog, WM_COMMAND, IDOK, 0);
            }
        }
        if (!isRunning(run)) break;
        pumpMessagesFor(20);
    }
    end.exitCode = run.exitCodeWithin(0);
    return end;
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
        putValue(HKEY_LOCAL_MACHINE, L"Install path", c.type, path.data(), c.byteCount);
        expectQuickEnd(quotedSaver() + kStartUpProbe, kDamagedInstallation);
        EXPECT_EQ("none", userKeyImage());
    }

    SCOPED_TRACE("machine key without values");
    deleteZephyrineKeys();
    createEmptyKey(HKEY_LOCAL_MACHINE);
    expectQuickEnd(quotedSaver() + L" /s", kDamagedInstallation);
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
        {"the pictures' folder and a backslash, without terminator", distDirectory() + L"\\", false,
         kStartedUp},
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
        putValue(HKEY_LOCAL_MACHINE, L"Install path", REG_SZ, data.data(),
                 static_cast<DWORD>((c.path.size() + (c.terminated ? 1 : 0)) * sizeof(wchar_t)));
        expectQuickEnd(quotedSaver() + kStartUpProbe, c.end);
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
        {"key without values", REG_NONE, 0},
        {"REG_SZ of 2 bytes", REG_SZ, 2},
        {"REG_BINARY of 4 bytes", REG_BINARY, 4},
        {"REG_DWORD_BIG_ENDIAN of 4 bytes", REG_DWORD_BIG_ENDIAN, 4},
        {"REG_DWORD of 3 bytes", REG_DWORD, 3},
        {"REG_DWORD of 8 bytes", REG_DWORD, 8},
        {"REG_QWORD of 8 bytes", REG_QWORD, 8},
        {"REG_MULTI_SZ of 65536 bytes", REG_MULTI_SZ, 65536},
    };
    const wchar_t* names[] = {L"Background", L"Number of balls", L"Opaque", L"Scale of balls"};
    const BYTE numbers[] = {1, 10, 60, 1};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKeyPath);
        createEmptyKey(HKEY_CURRENT_USER);
        if (c.byteCount > 0)
            for (int i = 0; i < 4; ++i) {
                std::vector<BYTE> data = displayValueData(numbers[i], c.byteCount);
                putValue(HKEY_CURRENT_USER, names[i], c.type, data.data(), c.byteCount);
            }
        const std::string before = userKeyImage();

        HWND host = createHostWindow(300, 200);
        ChildProcess run;
        ASSERT_TRUE(run.start(quotedSaver() + L" /c:" + handleText(host)));
        HWND dialog = waitForProcessWindow(run.id, "#32770", kBound);
        ASSERT_NE(nullptr, dialog);
        EXPECT_EQ("Settings", windowText(dialog));
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

// ---------------------------------------------------------------------------
// Pictures

std::string readFileBytes(const std::wstring& path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    bytes.resize(GetFileSize(file, nullptr));
    DWORD read = 0;
    ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    CloseHandle(file);
    return bytes;
}

uint32_t crc32Of(const std::string& bytes)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string bigEndian32(uint32_t value)
{
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

std::string pngChunk(const std::string& type, const std::string& data)
{
    return bigEndian32(static_cast<uint32_t>(data.size())) + type + data + bigEndian32(crc32Of(type + data));
}

// A well-formed PNG that claims 100000 x 100000 RGBA pixels (40 GB decoded)
// and carries an IDAT of 11 bytes: a zlib stream of one empty stored block.
std::string hugePng()
{
    const std::string header = bigEndian32(100000) + bigEndian32(100000) + std::string("\x08\x06\x00\x00\x00", 5);
    return std::string("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) +
           pngChunk("IDAT", std::string("\x78\x01\x01\x00\x00\xff\xff\x00\x00\x00\x01", 11)) +
           pngChunk("IEND", "");
}

// The real picture with one byte of its first IDAT chunk's data flipped, so
// that the chunk's CRC no longer matches.
std::string withBadCrc(std::string png)
{
    const size_t type = png.find("IDAT");
    if (type == std::string::npos || type < 4) return std::string();
    const uint32_t length = (static_cast<unsigned char>(png[type - 4]) << 24) |
                            (static_cast<unsigned char>(png[type - 3]) << 16) |
                            (static_cast<unsigned char>(png[type - 2]) << 8) | static_cast<unsigned char>(png[type - 1]);
    if (length < 20) return std::string();
    png[type + 4 + length / 2] ^= 0x5A;
    return png;
}

bool encoderFor(const wchar_t* mimeType, CLSID* clsid)
{
    UINT count = 0;
    UINT size = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) return false;
    std::vector<BYTE> buffer(size);
    auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, size, encoders) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i)
        if (lstrcmpW(encoders[i].MimeType, mimeType) == 0) {
            *clsid = encoders[i].Clsid;
            return true;
        }
    return false;
}

// A width x height picture of a disc saved by GDI+'s encoder for mimeType
// under path, whatever the name's extension says. GDI+ must run. The GIF is
// made from an indexed bitmap: for any other format Wine's GIF encoder writes
// a picture without pixels and still reports success.
bool saveEncoded(const std::wstring& path, const wchar_t* mimeType, int width, int height)
{
    CLSID clsid;
    if (!encoderFor(mimeType, &clsid)) return false;
    if (lstrcmpW(mimeType, L"image/gif") == 0) {
        Gdiplus::Bitmap indexed(width, height, PixelFormat8bppIndexed);
        Gdiplus::Rect all(0, 0, width, height);
        Gdiplus::BitmapData pixels;
        if (indexed.LockBits(&all, Gdiplus::ImageLockModeWrite, PixelFormat8bppIndexed, &pixels) != Gdiplus::Ok)
            return false;
        for (int y = 0; y < height; ++y) {
            BYTE* row = static_cast<BYTE*>(pixels.Scan0) + y * pixels.Stride;
            for (int x = 0; x < width; ++x) {
                const int dx = 2 * x + 1 - width;
                const int dy = 2 * y + 1 - height;
                row[x] = dx * dx * height * height + dy * dy * width * width <= width * width * height * height ? 249 : 0;
            }
        }
        indexed.UnlockBits(&pixels);
        return indexed.Save(path.c_str(), &clsid, nullptr) == Gdiplus::Ok;
    }
    Gdiplus::Bitmap picture(width, height, PixelFormat32bppARGB);
    {
        Gdiplus::Graphics graphics(&picture);
        graphics.Clear(Gdiplus::Color(0, 0, 0, 0));
        Gdiplus::SolidBrush red(Gdiplus::Color(255, 220, 30, 40));
        graphics.FillEllipse(&red, 0, 0, width, height);
    }
    return picture.Save(path.c_str(), &clsid, nullptr) == Gdiplus::Ok;
}

// How 3.png is replaced. Each makes the file (or folder) at path and reports
// success; GDI+ must run for the encoded ones.
enum class Replacement { zeroBytes, signatureOnly, truncated, badCrc, hugeDimensions, folder, bmp, gif, jpeg, onePixel };

bool makeReplacement(Replacement replacement, const std::wstring& path)
{
    const std::string real = readFileBytes(distDirectory() + L"\\3.png");
    switch (replacement) {
    case Replacement::zeroBytes: return writeFileBytes(path, "");
    case Replacement::signatureOnly: return writeFileBytes(path, real.substr(0, 8));
    case Replacement::truncated: return writeFileBytes(path, real.substr(0, real.size() / 2));
    case Replacement::badCrc: {
        const std::string damaged = withBadCrc(real);
        return !damaged.empty() && writeFileBytes(path, damaged);
    }
    case Replacement::hugeDimensions: return writeFileBytes(path, hugePng());
    case Replacement::folder: return CreateDirectoryW(path.c_str(), nullptr) != 0;
    case Replacement::bmp: return saveEncoded(path, L"image/bmp", 64, 48);
    case Replacement::gif: return saveEncoded(path, L"image/gif", 64, 48);
    case Replacement::jpeg: return saveEncoded(path, L"image/jpeg", 64, 48);
    case Replacement::onePixel: return saveEncoded(path, L"image/png", 1, 1);
    }
    return false;
}

struct PictureCase {
    const char* name;
    Replacement replacement;
    bool accepted;     // loads as a picture with a width above 0
    UINT width;        // of the accepted picture
};

const PictureCase kPictureCases[] = {
    {"zero-byte file", Replacement::zeroBytes, false, 0},
    {"PNG signature only", Replacement::signatureOnly, false, 0},
    {"PNG cut in half", Replacement::truncated, false, 0},
    {"PNG with a bad CRC in its IDAT", Replacement::badCrc, false, 0},
    {"PNG claiming 100000 x 100000 pixels", Replacement::hugeDimensions, false, 0},
    {"folder named 3.png", Replacement::folder, false, 0},
    {"BMP named 3.png", Replacement::bmp, true, 64},
    {"GIF named 3.png", Replacement::gif, true, 64},
    {"JPEG named 3.png", Replacement::jpeg, true, 64},
    {"1 x 1 PNG", Replacement::onePixel, true, 1},
};

// A fresh folder holding the eight real pictures with 3.png replaced.
std::wstring pictureFolderWith(const std::wstring& work, const PictureCase& c)
{
    const std::wstring folder = work + L"\\" + std::to_wstring(&c - kPictureCases);
    CreateDirectoryW(folder.c_str(), nullptr);
    for (int n = 1; n <= 8; ++n) {
        if (n == 3) continue;
        const std::wstring file = L"\\" + std::to_wstring(n) + L".png";
        EXPECT_TRUE(copyFileTo(distDirectory() + file, folder + file));
    }
    EXPECT_TRUE(makeReplacement(c.replacement, folder + L"\\3.png")) << c.name;
    return folder;
}

SIZE_T peakPagefileUsage(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process, &counters, sizeof counters)) return 0;
    return counters.PeakPagefileUsage;
}

constexpr SIZE_T kMemoryBound = SIZE_T{1} << 30;

// Per picture: 'L' loaded (width > 0), 'F' an object without a picture,
// '.' null.
std::string pictureState()
{
    std::string state;
    for (Gdiplus::Image* picture : pictures)
        state += picture == nullptr ? '.' : picture->GetWidth() > 0 ? 'L' : 'F';
    return state;
}

// The pictures as they were when the failure message was being created.
HHOOK cbtHook;
std::string stateAtMessage;

LRESULT CALLBACK recordStateAtMessage(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND && stateAtMessage.empty()) stateAtMessage = pictureState();
    return CallNextHookEx(cbtHook, code, wParam, lParam);
}

class PicturesInProcessTest : public testing::Test {
protected:
    static void SetUpTestSuite() { loadDisplayStrings(GetModuleHandleA(nullptr)); }
    void SetUp() override
    {
        savedSettings_ = settings;
        savedField_ = ballField;
        work_ = makeTempDirectory(L"zeph-bad-pictures");
        ASSERT_FALSE(work_.empty());
    }
    void TearDown() override
    {
        settings = savedSettings_;
        ballField = savedField_;
        removeDirectoryTree(work_);
    }
    std::wstring work_;

private:
    Settings savedSettings_;
    BallField savedField_;
};

TEST_F(PicturesInProcessTest, EveryReplacedPictureLoadsOrFailsWithItsMessage)
{
    MessageBoxCloser closer;
    for (const PictureCase& c : kPictureCases) {
        SCOPED_TRACE(c.name);
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::Ok, Gdiplus::GdiplusStartup(&startupState.gdiplusToken, &input, nullptr));
        const std::wstring folder = pictureFolderWith(work_, c);
        lstrcpynW(settings.installPath, folder.c_str(), kInstallPathUnits);

        const size_t boxesBefore = closer.seen().size();
        PROCESS_MEMORY_COUNTERS before = {};
        GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);
        stateAtMessage.clear();
        cbtHook = SetWindowsHookExW(WH_CBT, recordStateAtMessage, nullptr, GetCurrentThreadId());
        const int result = loadBallImages();
        UnhookWindowsHookEx(cbtHook);
        const SIZE_T peak = peakPagefileUsage(GetCurrentProcess());
        EXPECT_GT(peak, 0u) << "no memory counters";
        EXPECT_LT(peak, std::max(before.PeakPagefileUsage, before.PagefileUsage + kMemoryBound))
            << "loading took more than 1 GiB";

        const std::vector<SeenMessageBox> boxes = closer.seen();
        if (!c.accepted) {
            EXPECT_EQ(3, result);
            EXPECT_EQ("LLF.....", stateAtMessage);
            EXPECT_EQ("........", pictureState()) << "the failure released every picture";
            ASSERT_EQ(boxesBefore + 1, boxes.size());
            EXPECT_EQ(kImagesNotFound, boxes.back().text);
            EXPECT_EQ("Zephyrine", boxes.back().caption);
            continue;  // the failure shut GDI+ down
        }
        EXPECT_EQ(0, result);
        EXPECT_EQ(boxesBefore, boxes.size());
        EXPECT_EQ("LLLLLLLL", pictureState());
        ASSERT_NE(nullptr, pictures[2]);
        EXPECT_EQ(c.width, pictures[2]->GetWidth());
        for (int32_t size : {112, 84, 1}) {
            SCOPED_TRACE(testing::Message() << "ball size " << size);
            ballField.ballSize = size;
            makeThumbnails();
            ASSERT_NE(nullptr, thumbnails[2]);
            EXPECT_EQ(static_cast<UINT>(size), thumbnails[2]->GetWidth());
            EXPECT_EQ(static_cast<UINT>(size), thumbnails[2]->GetHeight());
        }
        releaseBallImages(startupState.gdiplusToken);
    }
}

TEST_F(SaverRunTest, EveryReplacedPictureEndsTheRunAsTheLoadingDecides)
{
    const std::wstring work = makeTempDirectory(L"zeph-bad-pictures");
    ASSERT_FALSE(work.empty());
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::Ok, Gdiplus::GdiplusStartup(&token, &input, nullptr));
    for (const PictureCase& c : kPictureCases) {
        SCOPED_TRACE(c.name);
        writeInstallPath(pictureFolderWith(work, c));
        MessageBoxCloser closer;
        ChildProcess run;
        ASSERT_TRUE(startWithExactLine(run, quotedSaver() + kStartUpProbe));
        const QuickEnd expected = c.accepted ? kStartedUp : kPicturesMissing;
        // Wine reports no counters once the process is gone: sample them
        // while it runs.
        SIZE_T peak = 0;
        long exitCode = -1;
        for (DWORD start = GetTickCount(); exitCode == -1 && GetTickCount() - start < kBound;) {
            peak = std::max(peak, peakPagefileUsage(run.process));
            exitCode = run.exitCodeWithin(10);
        }
        EXPECT_EQ(expected.exitCode, exitCode);
        EXPECT_GT(peak, 0u) << "no memory counters";
        EXPECT_LT(peak, kMemoryBound);
        std::vector<SeenMessageBox> boxes = closer.seen();
        ASSERT_EQ(c.accepted ? 0u : 1u, boxes.size());
        if (!c.accepted) {
            EXPECT_EQ(kImagesNotFound, boxes[0].text);
        }
    }
    Gdiplus::GdiplusShutdown(token);
    removeDirectoryTree(work);
}

// ---------------------------------------------------------------------------
// Host windows

const QuickEnd kNoWindow = {0, nullptr};

// Sizes of host client areas, for the preview and the settings dialog.
struct HostSize {
    const char* name;
    int width;
    int height;
};

std::vector<HostSize> tinyHostSizes()
{
    const int height = 240;
    return {
        {"0 x 0", 0, 0},
        {"1 x 1", 1, 1},
        {"50 x 50", 50, 50},
        {"exactly one ball wide", previewBallSize(height), height},
        {"exactly one ball high", 300, 1},
    };
}

TEST_F(SaverRunTest, PreviewInTinyHostsRunsUntilTheHostGoes)
{
    for (const HostSize& size : tinyHostSizes()) {
        SCOPED_TRACE(size.name);
        HWND host = createBorderlessHost(size.width, size.height);
        RECT client;
        GetClientRect(host, &client);
        ASSERT_EQ(size.width, client.right);
        ASSERT_EQ(size.height, client.bottom);

        MessageBoxCloser closer;
        ChildProcess run;
        ASSERT_TRUE(startWithExactLine(run, quotedSaver() + L" /p " + handleText(host)));
        HWND preview = waitForChildWindow(host, "ZEPHYRINE", kBound);
        ASSERT_NE(nullptr, preview);
        GetClientRect(preview, &client);
        EXPECT_EQ(size.width, client.right);
        EXPECT_EQ(size.height, client.bottom);
        pumpMessagesFor(600);  // 20 ticks and their frames
        EXPECT_TRUE(isRunning(run)) << "the preview keeps running";
        DestroyWindow(host);
        EXPECT_EQ(0, run.exitCodeWithin(kBound));
        EXPECT_TRUE(closer.seen().empty());
        EXPECT_EQ("none", userKeyImage());
    }
}

TEST_F(SaverRunTest, SettingsOwnedByTinyHostsCancelWithZero)
{
    for (const HostSize& size : tinyHostSizes()) {
        SCOPED_TRACE(size.name);
        HWND host = createBorderlessHost(size.width, size.height);
        ChildProcess run;
        ASSERT_TRUE(startWithExactLine(run, quotedSaver() + L" /c:" + handleText(host)));
        const ConfigureEnd end = endConfigureRun(run, kBound);
        EXPECT_EQ(0, end.exitCode);
        EXPECT_EQ(1, end.settingsDialogs);
        EXPECT_EQ(std::vector<HWND>{host}, end.owners);
        EXPECT_TRUE(end.otherWindows.empty());
        EXPECT_EQ("none", userKeyImage());
        DestroyWindow(host);
    }
}

struct NotAWindow {
    const char* name;
    std::wstring number;
};

std::vector<NotAWindow> numbersThatAreNoWindows()
{
    return {
        {"a window destroyed before the start", handleText(destroyedWindow())},
        {"a GDI brush", handleText(reinterpret_cast<HWND>(GetStockObject(WHITE_BRUSH)))},
        {"65535", L"65535"},
        {"2147483647", L"2147483647"},
        {"99999999999, read as 2147483647", L"99999999999"},
    };
}

TEST_F(SaverRunTest, PreviewIntoNumbersThatAreNoWindowsEndsWithZeroAndNoMessage)
{
    for (const NotAWindow& c : numbersThatAreNoWindows()) {
        SCOPED_TRACE(c.name);
        expectQuickEnd(quotedSaver() + L" /p " + c.number, kNoWindow);
        EXPECT_EQ("none", userKeyImage());
    }
}

TEST_F(SaverRunTest, SettingsOwnedByNumbersThatAreNoWindowsEndWithZero)
{
    for (const NotAWindow& c : numbersThatAreNoWindows()) {
        SCOPED_TRACE(c.name);
        ChildProcess run;
        ASSERT_TRUE(startWithExactLine(run, quotedSaver() + L" /c:" + c.number));
        const ConfigureEnd end = endConfigureRun(run, kBound);
        EXPECT_EQ(0, end.exitCode);
        // Wine's DialogBoxParamA refuses an owner that is no window and
        // shows nothing; the run still counts as completed.
        EXPECT_EQ(0, end.settingsDialogs);
        EXPECT_TRUE(end.otherWindows.empty());
        EXPECT_EQ("none", userKeyImage());
    }
}

// The host goes at every moment of the preview's start: before the command
// line is read, while the preview window is being created, and after.
TEST_F(SaverRunTest, HostDestroyedAtAnyMomentOfThePreviewsStartEndsItWithZero)
{
    for (DWORD delay = 0; delay <= 600; delay += 20) {
        SCOPED_TRACE(testing::Message() << "host destroyed after " << delay << " ms");
        HWND host = createBorderlessHost(320, 240);
        MessageBoxCloser closer;
        ChildProcess run;
        ASSERT_TRUE(startWithExactLine(run, quotedSaver() + L" /p " + handleText(host)));
        pumpMessagesFor(delay);
        DestroyWindow(host);
        EXPECT_EQ(0, run.exitCodeWithin(kBound));
        EXPECT_TRUE(closer.seen().empty());
        EXPECT_EQ("none", userKeyImage());
    }
}

TEST_F(SaverRunTest, HostDestroyedUnderTheOpenSettingsEndsWithZero)
{
    HWND host = createBorderlessHost(320, 240);
    ChildProcess run;
    ASSERT_TRUE(startWithExactLine(run, quotedSaver() + L" /c:" + handleText(host)));
    HWND dialog = waitForProcessWindow(run.id, "#32770", kBound);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("Settings", windowText(dialog));
    DestroyWindow(host);
    pumpMessagesFor(500);
    // Whether the dialog went with its owner or stays to be cancelled, the
    // run ends with 0 and writes nothing.
    const ConfigureEnd end = endConfigureRun(run, kBound);
    EXPECT_EQ(0, end.exitCode);
    EXPECT_TRUE(end.otherWindows.empty());
    EXPECT_EQ("none", userKeyImage());
}

// ---------------------------------------------------------------------------
// Command lines

// What a command line makes the saver do, and how the test ends it.
enum class LineEffect {
    fullScreen,         // the saver covers the screen until a key
    previewInHost,      // a preview in the host until the host goes
    settingsOfHost,     // the settings dialog owned by the host, cancelled
    endsWithOne,        // a mode without its handle: 1 and no message
    endsWithZero,       // a handle that is no window: 0 and no message
};

// The line with "{saver}" replaced by the quoted program path, "{bare}" by
// the path without quotes and "{host}" by the host's number.
std::wstring expandLine(std::wstring line, HWND host)
{
    const std::pair<std::wstring, std::wstring> fields[] = {
        {L"{saver}", quotedSaver()}, {L"{bare}", saverPath()}, {L"{host}", handleText(host)}};
    for (const auto& field : fields)
        for (size_t at; (at = line.find(field.first)) != std::wstring::npos;)
            line.replace(at, field.first.size(), field.second);
    return line;
}

// Runs the saver with exactly `line`, drives it to its end as `effect` says
// and checks the exit code, the absence of message boxes and that the user
// key was not written. host is destroyed on the way.
void expectLineEffect(const std::wstring& line, LineEffect effect, HWND host)
{
    ChildProcess run;
    switch (effect) {
    case LineEffect::fullScreen: {
        MessageBoxCloser closer;
        ASSERT_TRUE(startWithExactLine(run, line));
        HWND saver = waitForProcessWindow(run.id, "ZEPHYRINE", kBound);
        ASSERT_NE(nullptr, saver);
        EXPECT_EQ(nullptr, GetParent(saver));
        EXPECT_TRUE(isRunning(run));
        PostMessageA(saver, WM_KEYDOWN, VK_SPACE, 0);
        EXPECT_EQ(0, run.exitCodeWithin(kBound));
        EXPECT_TRUE(closer.seen().empty());
        break;
    }
    case LineEffect::previewInHost: {
        MessageBoxCloser closer;
        ASSERT_TRUE(startWithExactLine(run, line));
        HWND preview = waitForChildWindow(host, "ZEPHYRINE", kBound);
        ASSERT_NE(nullptr, preview);
        pumpMessagesFor(200);
        EXPECT_TRUE(isRunning(run));
        DestroyWindow(host);
        EXPECT_EQ(0, run.exitCodeWithin(kBound));
        EXPECT_TRUE(closer.seen().empty());
        break;
    }
    case LineEffect::settingsOfHost: {
        ASSERT_TRUE(startWithExactLine(run, line));
        const ConfigureEnd end = endConfigureRun(run, kBound);
        EXPECT_EQ(0, end.exitCode);
        EXPECT_EQ(std::vector<HWND>{host}, end.owners);
        EXPECT_TRUE(end.otherWindows.empty());
        break;
    }
    case LineEffect::endsWithOne: expectQuickEnd(line, {1, nullptr}); break;
    case LineEffect::endsWithZero: expectQuickEnd(line, kNoWindow); break;
    }
    DestroyWindow(host);
    EXPECT_EQ("none", userKeyImage());
}

struct LineCase {
    const char* name;
    std::wstring line;
    LineEffect effect;
};

TEST_F(SaverRunTest, OddCommandLinesChooseTheirRunMode)
{
    const LineCase cases[] = {
        {"only the program, quoted", L"{saver}", LineEffect::fullScreen},
        {"only the program, unquoted", L"{bare}", LineEffect::fullScreen},
        {"the program and spaces", L"{saver}" + std::wstring(40, L' '), LineEffect::fullScreen},
        {"only spaces", L"     ", LineEffect::fullScreen},
        {"the program's quote never closed", L"\"{bare} /p {host}", LineEffect::fullScreen},
        {"a quote before /p never closed", L"{saver} \"/p {host}", LineEffect::endsWithOne},
        {"a quote before the number never closed", L"{saver} /p \"{host}", LineEffect::previewInHost},
        {"a lone quote after /p", L"{saver} /p \"", LineEffect::endsWithOne},
        {"CR LF inside a token: the number comes from its second line", L"{saver} /p\r\n{host}",
         LineEffect::previewInHost},
        {"CR LF inside a quoted token", L"{saver} \"/p\r\n{host}\"", LineEffect::previewInHost},
        {"CR LF before the configure number", L"{saver} /c\r\n:{host}", LineEffect::endsWithOne},
        {"CR LF after the configure number", L"{saver} /c:{host}\r\n/p", LineEffect::settingsOfHost},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.name);
        HWND host = createBorderlessHost(320, 240);
        expectLineEffect(expandLine(c.line, host), c.effect, host);
    }
}

// CreateProcessW takes at most 32767 characters with the terminator.
constexpr size_t kLongestLine = 32766;

TEST_F(SaverRunTest, LongestCommandLinesCreateProcessTakes)
{
    struct Case {
        const char* name;
        std::wstring head;
        std::wstring filler;  // repeated after the head up to the longest line
        LineEffect effect;
    };
    const Case cases[] = {
        {"preview, then short tokens", L"{saver} /p {host}", L" x", LineEffect::previewInHost},
        {"preview, then spaces", L"{saver} /p {host}", L" ", LineEffect::previewInHost},
        {"configure, then quoted tokens", L"{saver} /c:{host}", L" \"a b\"", LineEffect::settingsOfHost},
        {"preview with a number of 32000 digits", L"{saver} /p ", L"9", LineEffect::endsWithZero},
        {"one mode token of 32000 letters", L"{saver} /", L"S", LineEffect::fullScreen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HWND host = createBorderlessHost(320, 240);
        std::wstring line = expandLine(c.head, host);
        while (line.size() < kLongestLine) line += c.filler;
        line.resize(kLongestLine);
        expectLineEffect(line, c.effect, host);
    }
}

// ---------------------------------------------------------------------------
// Command lines beyond what a process can be given, in process

struct HugeLineCase {
    const char* name;
    std::string head;    // the line's beginning
    std::string filler;  // repeated up to 20,000,000 bytes
    std::string tail;    // written at byte 16,777,213, across the cut
    RunMode mode;
    int32_t handle;
};

TEST(CommandLineInProcessTest, TwentyMillionBytesAreCutAt16MiBAndParsedInBoundedTime)
{
    constexpr size_t kBytes = 20000000;
    constexpr size_t kCut = TextString::kMaxLength;
    const HugeLineCase cases[] = {
        {"one token filling it", "saver.scr /c:77 ", "x", "", RunMode::configure, 77},
        {"spaces after the number", "saver.scr /p 1234", " ", "", RunMode::preview, 1234},
        {"short tokens after the number", "saver.scr /p 55", " ab", "", RunMode::preview, 55},
        {"empty quoted tokens", "saver.scr /p 56 ", "\"\"", "", RunMode::preview, 56},
        {"one token of CR LF lines", "saver.scr\r\np\r\n57", "\r\nq", "", RunMode::preview, 57},
        {"only double quotes", "", "\"", "", RunMode::fullScreenSaver, 0},
        {"the number across the cut", "saver.scr /p", " ", "4567890", RunMode::preview, 456},
    };
    for (const HugeLineCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string bytes = c.head;
        bytes.reserve(kBytes + c.filler.size());
        while (bytes.size() < kBytes) bytes += c.filler;
        bytes.resize(kBytes);
        bytes.replace(kCut - 3, c.tail.size(), c.tail);

        const auto start = std::chrono::steady_clock::now();
        const TextString commandLine(bytes.c_str());
        ASSERT_EQ(static_cast<int32_t>(kCut), commandLine.length());
        const ParsedCommandLine parsed = readRunMode(commandLine);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(static_cast<int>(c.mode), static_cast<int>(parsed.mode));
        EXPECT_EQ(c.handle, parsed.hostWindowHandle);
        EXPECT_LT(seconds, 15.0);
    }
}

}  // namespace
