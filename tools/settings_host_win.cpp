// Opens the settings dialog of an installed Zephyrine the way the system's
// screen-saver settings do: a small host window, and the saver started with
// "/c:<host window>" as a child process; ends with the saver's exit code.
//   settings_host [<path of Zephyrine.scr>]
// Without an argument it opens the saver named by the machine key's
// "Install path".
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

const wchar_t kHostClass[] = L"ZephyrineSettingsHost";

std::wstring installedSaver()
{
    wchar_t folder[MAX_PATH] = {};
    DWORD size = sizeof folder;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Quorvane\\Zephyrine", L"Install path", RRF_RT_REG_SZ, nullptr,
                     folder, &size) != ERROR_SUCCESS)
        return std::wstring();
    std::wstring path = folder;
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    return path + L"\\Zephyrine.scr";
}

std::wstring saverFromCommandLine()
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring path;
    if (arguments && count > 1) path = arguments[1];
    LocalFree(arguments);
    return path.empty() ? installedSaver() : path;
}

HWND createHostWindow(HINSTANCE instance)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kHostClass;
    if (!RegisterClassW(&windowClass)) return nullptr;
    const int width = 420;
    const int height = 300;
    int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    return CreateWindowExW(0, kHostClass, L"Zephyrine", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, width, height,
                           nullptr, nullptr, instance, nullptr);
}

// Dispatches this thread's messages until the process ends.
void waitDispatching(HANDLE process)
{
    for (;;) {
        DWORD result = MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT);
        if (result != WAIT_OBJECT_0 + 1) return;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

void complain(const std::wstring& text)
{
    MessageBoxW(nullptr, text.c_str(), L"Zephyrine settings", MB_OK | MB_ICONERROR);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    std::wstring saver = saverFromCommandLine();
    if (saver.empty()) {
        complain(L"Zephyrine is not installed.");
        return 1;
    }
    HWND host = createHostWindow(instance);
    if (!host) return 1;
    std::wstring commandLine = L"\"" + saver + L"\" /c:" + std::to_wstring(reinterpret_cast<INT_PTR>(host));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &child)) {
        DestroyWindow(host);
        complain(L"Cannot start " + saver);
        return 1;
    }
    CloseHandle(child.hThread);
    waitDispatching(child.hProcess);
    DWORD exitCode = 1;
    GetExitCodeProcess(child.hProcess, &exitCode);
    CloseHandle(child.hProcess);
    DestroyWindow(host);
    return static_cast<int>(exitCode);
}
