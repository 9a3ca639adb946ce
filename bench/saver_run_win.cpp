// Runs of the real Zephyrine.scr: the registry values a run sets, the screen
// probe, and starting and ending the saver.
#include "bench/saver_run_win.h"

#include "bench/bench_win.h"

namespace bench {

namespace {

const char kSaverClass[] = "ZEPHYRINE";

HWND findSaverWindow(DWORD processId)
{
    for (HWND window = FindWindowExA(nullptr, nullptr, kSaverClass, nullptr); window;
         window = FindWindowExA(nullptr, window, kSaverClass, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId) return window;
    }
    return nullptr;
}

}  // namespace

ScreenProbe::ScreenProbe()
{
    width_ = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    for (int k = 0; k < kLines; ++k) rows_[k] = height * (k + 1) / (kLines + 1);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -kLines;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    pixels_ = static_cast<const uint32_t*>(bits);
    dc_ = CreateCompatibleDC(nullptr);
    previous_ = SelectObject(dc_, bitmap_);
}

ScreenProbe::~ScreenProbe()
{
    SelectObject(dc_, previous_);
    DeleteDC(dc_);
    DeleteObject(bitmap_);
}

void ScreenProbe::read(int* desktopPixels, int* otherPixels)
{
    HDC screen = GetDC(nullptr);
    for (int k = 0; k < kLines; ++k) BitBlt(dc_, 0, k, width_, 1, screen, 0, rows_[k], SRCCOPY);
    ReleaseDC(nullptr, screen);
    GdiFlush();
    const uint32_t desktop = (uint32_t{kDesktopRed} << 16) | (uint32_t{kDesktopGreen} << 8) | kDesktopBlue;
    *desktopPixels = 0;
    *otherPixels = 0;
    for (int i = 0; i < width_ * kLines; ++i) {
        if ((pixels_[i] & 0xFFFFFF) == desktop)
            ++*desktopPixels;
        else
            ++*otherPixels;
    }
}

bool ScreenProbe::showsDesktop()
{
    int desktop, other;
    read(&desktop, &other);
    return other == 0;
}

bool ScreenProbe::showsFrame()
{
    int desktop, other;
    read(&desktop, &other);
    return other > 0 && desktop > 0;
}

RegistryValue::RegistryValue(HKEY root, const wchar_t* name) : root_(root), name_(name)
{
    HKEY key;
    if (RegOpenKeyExW(root_, kParentKey, 0, KEY_READ, &key) == ERROR_SUCCESS)
        RegCloseKey(key);
    else
        createdKey_ = kParentKey;
    keyExisted_ = RegOpenKeyExW(root_, kKey, 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (!keyExisted_) {
        if (!createdKey_) createdKey_ = kKey;
        return;
    }
    DWORD size = 0;
    valueExisted_ = RegQueryValueExW(key, name_, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS;
    if (valueExisted_) {
        data_.resize(size);
        RegQueryValueExW(key, name_, nullptr, &type_, data_.data(), &size);
    }
    RegCloseKey(key);
}

RegistryValue::~RegistryValue()
{
    if (createdKey_) {
        RegDeleteTreeW(root_, createdKey_);
        RegDeleteKeyW(root_, createdKey_);
        return;
    }
    HKEY key;
    if (RegOpenKeyExW(root_, kKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    if (valueExisted_)
        RegSetValueExW(key, name_, 0, type_, data_.data(), static_cast<DWORD>(data_.size()));
    else
        RegDeleteValueW(key, name_);
    RegCloseKey(key);
}

bool RegistryValue::write(DWORD type, const void* data, DWORD size)
{
    HKEY key;
    if (RegCreateKeyExW(root_, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const bool written = RegSetValueExW(key, name_, 0, type, static_cast<const BYTE*>(data), size) ==
                         ERROR_SUCCESS;
    RegCloseKey(key);
    return written;
}

SaverRun startSaver(const std::wstring& program, ScreenProbe& probe, double timeoutMs)
{
    SaverRun run;
    std::wstring commandLine = L"\"" + program + L"\" /s";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    const double start = nowMs();
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &run.process))
        return run;
    while (nowMs() - start < timeoutMs) {
        if (!run.window) {
            run.window = findSaverWindow(run.process.dwProcessId);
            if (run.window) run.windowMs = nowMs() - start;
        }
        if (run.window && probe.showsFrame()) {
            run.firstFrameMs = nowMs() - start;
            break;
        }
        if (WaitForSingleObject(run.process.hProcess, 0) == WAIT_OBJECT_0) break;
        pumpMessages();
        Sleep(1);
    }
    return run;
}

// Ends the saver with a key press as a user would, and returns its exit code

DWORD stopSaver(SaverRun& run, bool* ended)
{
    if (run.window) PostMessageA(run.window, WM_KEYDOWN, VK_SPACE, 0);
    const double start = nowMs();
    *ended = false;
    while (nowMs() - start < 5000) {
        if (WaitForSingleObject(run.process.hProcess, 0) == WAIT_OBJECT_0) {
            *ended = true;
            break;
        }
        pumpFor(5);
    }
    if (!*ended) {
        TerminateProcess(run.process.hProcess, 99);
        WaitForSingleObject(run.process.hProcess, 5000);
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(run.process.hProcess, &exitCode);
    CloseHandle(run.process.hThread);
    CloseHandle(run.process.hProcess);
    return exitCode;
}

// Runs commandLine to its end; the time from CreateProcess to the end, or -1

bool waitForDesktop(ScreenProbe& probe)
{
    const double start = nowMs();
    while (nowMs() - start < 3000) {
        if (probe.showsDesktop()) return true;
        pumpFor(10);
    }
    return false;
}

}  // namespace bench
