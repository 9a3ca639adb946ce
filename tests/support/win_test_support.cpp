// Helpers shared by the Windows tests.
#include "support/win_test_support.h"

#include <cstdio>

std::wstring distDirectory()
{
    wchar_t module[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring path(module, n);
    path = path.substr(0, path.find_last_of(L"\\/"));
    path += L"\\..\\dist";
    wchar_t full[MAX_PATH];
    GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return full;
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
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeDirectoryTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

bool copyFileTo(const std::wstring& from, const std::wstring& to)
{
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

bool writeFileBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
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

HANDLE startProcess(const std::wstring& commandLine)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::wstring mutableLine = commandLine;
    if (!CreateProcessW(nullptr, &mutableLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
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

namespace {

struct WindowSearch {
    DWORD processId;
    const char* className;
    HWND found;
};

BOOL CALLBACK findProcessWindow(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[256] = {};
    GetClassNameA(window, className, sizeof className);
    if (owner == search->processId && IsWindowVisible(window) && std::string(className) == search->className) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND waitForProcessWindow(DWORD processId, const char* className, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        WindowSearch search{processId, className, nullptr};
        EnumWindows(findProcessWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        pumpMessagesFor(20);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

void deleteZephyrineKeys()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Quorvane\\Zephyrine");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Quorvane\\Zephyrine");
}

void writeInstallPath(const std::wstring& path)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Quorvane\\Zephyrine", 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
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

bool ChildProcess::start(const std::wstring& commandLine)
{
    process = startProcess(commandLine);
    if (process) id = GetProcessId(process);
    return process != nullptr;
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

HWND createHostWindow(int width, int height)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = hostProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "ZephyrineTestHost";
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, "ZephyrineTestHost", "Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, width,
                           height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

std::wstring handleText(HWND window)
{
    return std::to_wstring(reinterpret_cast<INT_PTR>(window));
}

HWND waitForChildWindow(HWND parent, const char* className, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        HWND child = FindWindowExA(parent, nullptr, className, nullptr);
        if (child) return child;
        pumpMessagesFor(20);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}
