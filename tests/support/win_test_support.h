// Helpers shared by the Windows tests: test folders and files, registry
// values, message boxes that close themselves, windows, child processes, and
// waiting for any of them.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "settings/settings.h"

// The program's two start-up failure messages, as the user reads them.
extern const char kDamagedMessage[];
extern const char kImagesNotFoundText[];

// UTF-16 to UTF-8, for messages and comparisons of registry and file names.
std::string narrow(const std::wstring& text);

// Dispatches this thread's messages and polls predicate every 10 ms until it
// holds or timeoutMs has passed; returns its last answer.
bool waitUntil(const std::function<bool()>& predicate, DWORD timeoutMs);

// The folder of the running test program.
std::wstring testProgramDirectory();
// The folder where the build put Zephyrine.scr and 1.png .. 8.png.
std::wstring distDirectory();
// The built Zephyrine.scr in that folder.
std::wstring saverPath();

// A fresh empty folder under the temporary folder, and its removal.
std::wstring makeTempDirectory(const wchar_t* prefix);
void removeDirectoryTree(const std::wstring& path);

bool copyFileTo(const std::wstring& from, const std::wstring& to);
bool writeFileBytes(const std::wstring& path, const std::string& bytes);
// The whole file; empty when it cannot be read.
std::string readFileBytes(const std::wstring& path);
// The file's lines without their line ends; none when it cannot be read.
std::vector<std::string> readLines(const std::wstring& path);

struct SeenMessageBox {
    std::string caption;
    std::string text;
    bool hasIcon;  // an icon control is present in the box
};

// While alive, watches for message boxes (dialog class "#32770" with a static
// control 0xFFFF) of any process, records each and presses its OK button.
class MessageBoxCloser {
public:
    MessageBoxCloser();
    ~MessageBoxCloser();
    MessageBoxCloser(const MessageBoxCloser&) = delete;
    MessageBoxCloser& operator=(const MessageBoxCloser&) = delete;
    // The boxes seen so far.
    std::vector<SeenMessageBox> seen();

private:
    void watch();
    std::atomic<bool> stop_{false};
    CRITICAL_SECTION lock_;
    std::vector<SeenMessageBox> seen_;
    std::vector<HWND> handled_;
    std::thread thread_;
};

// Dispatches this thread's messages for ms milliseconds, so that windows of
// the test stay responsive to other processes meanwhile.
void pumpMessagesFor(DWORD ms);

// Waits for a process to end while dispatching this thread's messages.
bool waitForProcess(HANDLE process, DWORD timeoutMs);

// Runs commandLine and waits (dispatching messages) up to timeoutMs; returns true with its exit code
// when it ended in time, false (after terminating it) otherwise.
bool runProcess(const std::wstring& commandLine, DWORD timeoutMs, DWORD* exitCode);

// How a child starts: the program named apart from the command line (so that
// the line need not name it at all), an environment block of its own
// (UTF-16, each entry NUL-terminated, ending in an empty entry) and its
// working folder. Empty means as the test program has it.
struct ProcessOptions {
    std::wstring program;
    std::wstring environment;
    std::wstring folder;
};

// Starts commandLine without waiting; the caller closes the handle.
HANDLE startProcess(const std::wstring& commandLine, const ProcessOptions& options = {});

std::string className(HWND window);

// Waits (dispatching messages) up to timeoutMs for a visible top-level window
// that matches; 0 when none appeared.
HWND waitForWindow(const std::function<bool(HWND)>& matches, DWORD timeoutMs);

// The same for a window of the given class owned by the process.
HWND waitForProcessWindow(DWORD processId, const char* className, DWORD timeoutMs);

// A started child process that is ended, if still running, when the object
// goes; for tests that start the real program.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    bool start(const std::wstring& commandLine, const ProcessOptions& options = {});
    // The exit code once the process ended within timeoutMs (dispatching
    // messages meanwhile), or -1 while it still runs.
    long exitCodeWithin(DWORD timeoutMs);
    HANDLE process = nullptr;
    DWORD id = 0;
};

// The child was started and has not ended yet.
bool isRunning(const ChildProcess& child);

// A plain visible top-level window of the test process, standing in for the
// system's screen-saver settings window that hosts a preview or owns the
// settings dialog. With WS_POPUP its client area is exactly width x height.
HWND createHostWindow(int width, int height, DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE, int x = 50,
                      int y = 50);

// Starts a configure run of the saver (commandLine ends in "/c:<host>") and
// waits up to timeoutMs for its settings dialog, which host must own; the
// dialog, or a fatal failure.
void startSettingsOf(ChildProcess& child, const std::wstring& commandLine, HWND host, DWORD timeoutMs,
                     HWND* dialog);

// A full-screen window: top-most and exactly over the whole screen.
::testing::AssertionResult coversTheScreen(HWND window);

// The decimal text of a window handle, as a host passes it on a command line.
std::wstring handleText(HWND window);

// Waits (dispatching messages) for a child window of the class; 0 when none.
HWND waitForChildWindow(HWND parent, const char* className, DWORD timeoutMs);

// Deletes HKCU and HKLM "Software\Quorvane\Zephyrine" with everything below.
void deleteZephyrineKeys();

// Writes HKLM "Software\Quorvane\Zephyrine" "Install path" as a REG_SZ.
void writeInstallPath(const std::wstring& path);

// Whether HKEY root\path exists.
bool keyExists(HKEY root, const wchar_t* path);

// Stores byteCount bytes of data as value name of HKEY root
// "Software\Quorvane\Zephyrine" and checks that the registry kept exactly
// that type and size. For data without a terminator, the data must go on
// with a non-zero unit, or the registry adds a terminator of its own.
void putValue(HKEY root, const wchar_t* name, DWORD type, const void* data, DWORD byteCount);

// A registry query for the store's seam that first fills the whole offered
// buffer with a non-zero mark, so that a read past the returned data would
// pick the mark up.
LSTATUS WINAPI markingQuery(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                            LPDWORD byteCount);

// A settings record with these display values and the install path
// "C:\Before", to see which fields a load or look-up changed.
Settings recordWith(int32_t ballCount, int32_t opacityPercent, int32_t backgroundType, int32_t ballScale);

// One registry value as the test found it, put back when the object goes:
// for tests that change the user's desktop settings or Wine's.
class SavedRegistryValue {
public:
    SavedRegistryValue(HKEY root, std::wstring key, std::wstring name);
    ~SavedRegistryValue();
    SavedRegistryValue(const SavedRegistryValue&) = delete;
    SavedRegistryValue& operator=(const SavedRegistryValue&) = delete;

private:
    HKEY root_;
    std::wstring key_, name_;
    bool had_ = false;
    DWORD type_ = 0;
    std::vector<BYTE> data_;
};

// Wine's per-program settings for a program file name, under
// HKCU "Software\Wine\AppDefaults\<name>": the platform version it reports
// ("win98" for the legacy platform) and DLL overrides. The program's key goes
// when the object goes, and "AppDefaults" with it when the test made it.
class WineProgramSettings {
public:
    explicit WineProgramSettings(const std::wstring& programName);
    ~WineProgramSettings();
    WineProgramSettings(const WineProgramSettings&) = delete;
    WineProgramSettings& operator=(const WineProgramSettings&) = delete;
    void setVersion(const wchar_t* version);
    void overrideDll(const wchar_t* dll, const wchar_t* how);

private:
    std::wstring key_;
    bool hadAppDefaults_ = false;
};

// The user's desktop key and its password value, as the hooks read them.
extern const wchar_t kDesktopKey[];
extern const wchar_t kUsePasswordValue[];

// A 32-bit top-down DIB copy of a device context, pixels as 0x00RRGGBB.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> values;
    uint32_t at(int x, int y) const { return values[static_cast<size_t>(y) * width + x]; }
};

Pixels readPixels(HDC source, int width, int height);

// A window procedure that paints a desktop stand-in: the left half of its client
// area red, the right half blue.
LRESULT CALLBACK redBlueDesktopProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
