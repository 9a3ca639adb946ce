// Helpers shared by the Windows tests.
#include "support/win_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

const wchar_t kProductKey[] = L"Software\\Quorvane\\Zephyrine";

}  // namespace

const char kDamagedMessage[] = "Registry information is damaged. Please reinstall screen saver";
const char kImagesNotFoundText[] = "Images not found, please reinstall the screen saver!";
const wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
const wchar_t kUsePasswordValue[] = L"ScreenSaveUsePassword";

std::string narrow(const std::wstring& text)
{
    if (text.empty()) return std::string();
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr,
                            nullptr);
    return bytes;
}

bool waitUntil(const std::function<bool()>& predicate, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (predicate()) return true;
        if (GetTickCount() - start >= timeoutMs) return predicate();
        pumpMessagesFor(10);
    }
}

std::wstring testProgramDirectory()
{
    wchar_t module[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring path(module, n);
    return path.substr(0, path.find_last_of(L"\\/"));
}

std::wstring distDirectory()
{
    const std::wstring path = testProgramDirectory() + L"\\..\\dist";
    wchar_t full[MAX_PATH];
    GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return full;
}

std::wstring saverPath()
{
    return distDirectory() + L"\\Zephyrine.scr";
}

std::string readFileBytes(const std::wstring& path)
{
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<std::string> readLines(const std::wstring& path)
{
    std::vector<std::string> lines;
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::wstring makeTempDirectory(const wchar_t* prefix)
{
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    static LONG counter = 0;
    for (;;) {
        wchar_t name[MAX_PATH];
        swprintf(name, MAX_PATH, L"%ls%ls-%lu-%ld", base, prefix, GetCurrentProcessId(),
                 InterlockedIncrement(&counter));
        if (CreateDirectoryW(name, nullptr)) return name;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return std::wstring();
    }
}

void removeDirectoryTree(const std::wstring& path)
{
    if (path.empty()) return;
    std::error_code error;
    std::filesystem::remove_all(path, error);
}

bool copyFileTo(const std::wstring& from, const std::wstring& to)
{
    std::error_code error;
    return std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, error);
}

bool writeFileBytes(const std::wstring& path, const std::string& bytes)
{
    std::ofstream file(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file.flush());
}

MessageBoxCloser::MessageBoxCloser()
{
    InitializeCriticalSection(&lock_);
    thread_ = std::thread([this] { watch(); });
}

MessageBoxCloser::~MessageBoxCloser()
{
    stop_ = true;
    thread_.join();
    DeleteCriticalSection(&lock_);
}

std::vector<SeenMessageBox> MessageBoxCloser::seen()
{
    EnterCriticalSection(&lock_);
    std::vector<SeenMessageBox> copy = seen_;
    LeaveCriticalSection(&lock_);
    return copy;
}

namespace {

struct BoxSearch {
    std::vector<HWND>* handled;
    HWND found;
};

BOOL CALLBACK findMessageBox(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<BoxSearch*>(context);
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::string(className) != "#32770" || !IsWindowVisible(window)) return TRUE;
    if (!GetDlgItem(window, 0xFFFF)) return TRUE;
    // A message box has its text, an icon and a few buttons; a dialog with
    // many controls (such as the settings dialog with its -1 labels) is none.
    int children = 0;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) ++children;
    if (children > 8) return TRUE;
    for (HWND done : *search->handled)
        if (done == window) return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK findIcon(HWND child, LPARAM context)
{
    char className[16] = {};
    GetClassNameA(child, className, sizeof className);
    if (std::string(className) == "Static" && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        IsWindowVisible(child)) {
        *reinterpret_cast<bool*>(context) = true;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

void MessageBoxCloser::watch()
{
    while (!stop_) {
        BoxSearch search{&handled_, nullptr};
        EnumWindows(findMessageBox, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            SeenMessageBox box;
            char text[1024] = {};
            GetWindowTextA(search.found, text, sizeof text);
            box.caption = text;
            text[0] = 0;
            GetDlgItemTextA(search.found, 0xFFFF, text, sizeof text);
            box.text = text;
            box.hasIcon = false;
            EnumChildWindows(search.found, findIcon, reinterpret_cast<LPARAM>(&box.hasIcon));
            handled_.push_back(search.found);
            EnterCriticalSection(&lock_);
            seen_.push_back(box);
            LeaveCriticalSection(&lock_);
            HWND ok = GetDlgItem(search.found, IDOK);
            if (ok)
                PostMessageA(ok, BM_CLICK, 0, 0);
            else
                PostMessageA(search.found, WM_COMMAND, IDOK, 0);
        }
        Sleep(20);
    }
}

HANDLE startProcess(const std::wstring& commandLine, const ProcessOptions& options)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(0);
    std::wstring environment = options.environment;
    if (!CreateProcessW(options.program.empty() ? nullptr : options.program.c_str(), mutableLine.data(), nullptr,
                        nullptr, FALSE, environment.empty() ? 0 : CREATE_UNICODE_ENVIRONMENT,
                        environment.empty() ? nullptr : &environment[0],
                        options.folder.empty() ? nullptr : options.folder.c_str(), &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

void pumpMessagesFor(DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

bool waitForProcess(HANDLE process, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
        DWORD result = MsgWaitForMultipleObjects(1, &process, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
        if (result == WAIT_OBJECT_0) return true;
    }
}

bool runProcess(const std::wstring& commandLine, DWORD timeoutMs, DWORD* exitCode)
{
    HANDLE process = startProcess(commandLine);
    if (!process) return false;
    bool ended = waitForProcess(process, timeoutMs);
    if (!ended) {
        TerminateProcess(process, 99);
        WaitForSingleObject(process, 5000);
    }
    GetExitCodeProcess(process, exitCode);
    CloseHandle(process);
    return ended;
}

std::string className(HWND window)
{
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

HWND waitForWindow(const std::function<bool(HWND)>& matches, DWORD timeoutMs)
{
    struct Search {
        const std::function<bool(HWND)>* matches;
        HWND found;
    } search{&matches, nullptr};
    const auto visit = [](HWND window, LPARAM context) -> BOOL {
        auto* s = reinterpret_cast<Search*>(context);
        if (!IsWindowVisible(window) || !(*s->matches)(window)) return TRUE;
        s->found = window;
        return FALSE;
    };
    waitUntil(
        [&] {
            EnumWindows(visit, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs);
    return search.found;
}

HWND waitForProcessWindow(DWORD processId, const char* name, DWORD timeoutMs)
{
    return waitForWindow(
        [&](HWND window) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            return owner == processId && className(window) == name;
        },
        timeoutMs);
}

void deleteZephyrineKeys()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Quorvane\\Zephyrine");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Quorvane\\Zephyrine");
}

void writeInstallPath(const std::wstring& path)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExW(key, L"Install path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

ChildProcess::~ChildProcess()
{
    if (!process) return;
    if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0) {
        TerminateProcess(process, 99);
        WaitForSingleObject(process, 5000);
    }
    CloseHandle(process);
}

bool ChildProcess::start(const std::wstring& commandLine, const ProcessOptions& options)
{
    process = startProcess(commandLine, options);
    if (process) id = GetProcessId(process);
    return process != nullptr;
}

bool isRunning(const ChildProcess& child)
{
    return child.process && WaitForSingleObject(child.process, 0) == WAIT_TIMEOUT;
}

long ChildProcess::exitCodeWithin(DWORD timeoutMs)
{
    if (!waitForProcess(process, timeoutMs)) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return static_cast<long>(code);
}

namespace {

LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

HWND createHostWindow(int width, int height, DWORD style, int x, int y)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = hostProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    windowClass.lpszClassName = "ZephyrineTestHost";
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, "ZephyrineTestHost", "Host", style, x, y, width, height, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

void startSettingsOf(ChildProcess& child, const std::wstring& commandLine, HWND host, DWORD timeoutMs,
                     HWND* dialog)
{
    ASSERT_TRUE(child.start(commandLine));
    *dialog = waitForProcessWindow(child.id, "#32770", timeoutMs);
    ASSERT_NE(nullptr, *dialog);
    char caption[64] = {};
    GetWindowTextA(*dialog, caption, sizeof caption);
    EXPECT_STREQ("Settings", caption);
    if (host) {
        EXPECT_EQ(host, GetWindow(*dialog, GW_OWNER));
    }
}

::testing::AssertionResult coversTheScreen(HWND window)
{
    RECT frame;
    if (!GetWindowRect(window, &frame)) return ::testing::AssertionFailure() << "no window";
    const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (!EqualRect(&frame, &screen))
        return ::testing::AssertionFailure() << "the window covers " << frame.left << ", " << frame.top << " to "
                                             << frame.right << ", " << frame.bottom;
    if (!(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST))
        return ::testing::AssertionFailure() << "the window is not top-most";
    return ::testing::AssertionSuccess();
}

std::wstring handleText(HWND window)
{
    return std::to_wstring(reinterpret_cast<INT_PTR>(window));
}

HWND waitForChildWindow(HWND parent, const char* className, DWORD timeoutMs)
{
    HWND child = nullptr;
    waitUntil([&] { return (child = FindWindowExA(parent, nullptr, className, nullptr)) != nullptr; }, timeoutMs);
    return child;
}

bool keyExists(HKEY root, const wchar_t* path)
{
    HKEY key;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void putValue(HKEY root, const wchar_t* name, DWORD type, const void* data, DWORD byteCount)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(root, kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), byteCount));
    DWORD storedType = 0;
    DWORD storedCount = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, name, nullptr, &storedType, nullptr, &storedCount));
    EXPECT_EQ(type, storedType);
    EXPECT_EQ(byteCount, storedCount) << "the registry stored another size than asked";
    RegCloseKey(key);
}

LSTATUS WINAPI markingQuery(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD byteCount)
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

SavedRegistryValue::SavedRegistryValue(HKEY root, std::wstring key, std::wstring name)
    : root_(root), key_(std::move(key)), name_(std::move(name))
{
    DWORD size = 0;
    had_ = RegGetValueW(root_, key_.c_str(), name_.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type_, nullptr, &size) ==
           ERROR_SUCCESS;
    if (!had_) return;
    data_.resize(size);
    had_ = RegGetValueW(root_, key_.c_str(), name_.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type_,
                        data_.empty() ? nullptr : data_.data(), &size) == ERROR_SUCCESS;
    data_.resize(size);
}

SavedRegistryValue::~SavedRegistryValue()
{
    if (had_)
        RegSetKeyValueW(root_, key_.c_str(), name_.c_str(), type_, data_.empty() ? nullptr : data_.data(),
                        static_cast<DWORD>(data_.size()));
    else
        RegDeleteKeyValueW(root_, key_.c_str(), name_.c_str());
}

namespace {

const wchar_t kAppDefaultsKey[] = L"Software\\Wine\\AppDefaults";

}  // namespace

WineProgramSettings::WineProgramSettings(const std::wstring& programName)
    : key_(std::wstring(kAppDefaultsKey) + L"\\" + programName)
{
    hadAppDefaults_ = keyExists(HKEY_CURRENT_USER, kAppDefaultsKey);
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
        ERROR_SUCCESS)
        RegCloseKey(key);
}

WineProgramSettings::~WineProgramSettings()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, key_.c_str());
    if (!hadAppDefaults_) RegDeleteKeyW(HKEY_CURRENT_USER, kAppDefaultsKey);
}

void WineProgramSettings::setVersion(const wchar_t* version)
{
    RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), L"Version", REG_SZ, version,
                    static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t)));
}

void WineProgramSettings::overrideDll(const wchar_t* dll, const wchar_t* how)
{
    RegSetKeyValueW(HKEY_CURRENT_USER, (key_ + L"\\DllOverrides").c_str(), dll, REG_SZ, how,
                    static_cast<DWORD>((wcslen(how) + 1) * sizeof(wchar_t)));
}

Pixels readPixels(HDC source, int width, int height)
{
    Pixels pixels;
    pixels.width = width;
    pixels.height = height;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(source);
    HBITMAP section = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!section || !bits) {
        DeleteDC(memory);
        ADD_FAILURE() << "no " << width << " x " << height << " DIB section";
        return pixels;
    }
    HGDIOBJ old = SelectObject(memory, section);
    BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
    GdiFlush();
    const uint32_t* first = static_cast<const uint32_t*>(bits);
    pixels.values.assign(first, first + static_cast<size_t>(width) * height);
    for (uint32_t& v : pixels.values) v &= 0xFFFFFF;
    SelectObject(memory, old);
    DeleteObject(section);
    DeleteDC(memory);
    return pixels;
}

LRESULT CALLBACK redBlueDesktopProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ERASEBKGND) return 1;
    if (message != WM_PAINT) return DefWindowProcA(window, message, wParam, lParam);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT area;
    GetClientRect(window, &area);
    const RECT left = {0, 0, area.right / 2, area.bottom};
    const RECT right = {area.right / 2, 0, area.right, area.bottom};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    FillRect(dc, &left, red);
    FillRect(dc, &right, blue);
    DeleteObject(red);
    DeleteObject(blue);
    EndPaint(window, &paint);
    return 0;
}
