// Helpers shared by the Windows tests: test folders, message boxes that close
// themselves, and child processes.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

// The folder where the build put Zephyrine.scr and 1.png .. 8.png.
std::wstring distDirectory();

// A fresh empty folder under the temporary folder, and its removal.
std::wstring makeTempDirectory(const wchar_t* prefix);
void removeDirectoryTree(const std::wstring& path);

bool copyFileTo(const std::wstring& from, const std::wstring& to);
bool writeFileBytes(const std::wstring& path, const std::string& bytes);

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

// Starts commandLine without waiting; the caller closes the handle.
HANDLE startProcess(const std::wstring& commandLine);

// Waits (dispatching messages) for a visible top-level window of the given
// class owned by the process, up to timeoutMs; 0 when none appeared.
HWND waitForProcessWindow(DWORD processId, const char* className, DWORD timeoutMs);

// A started child process that is ended, if still running, when the object
// goes; for tests that start the real program.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    bool start(const std::wstring& commandLine);
    // The exit code once the process ended within timeoutMs (dispatching
    // messages meanwhile), or -1 while it still runs.
    long exitCodeWithin(DWORD timeoutMs);
    HANDLE process = nullptr;
    DWORD id = 0;
};

// A plain visible top-level window of the test process, standing in for the
// system's screen-saver settings window that hosts a preview or owns the
// settings dialog.
HWND createHostWindow(int width, int height);

// The decimal text of a window handle, as a host passes it on a command line.
std::wstring handleText(HWND window);

// Waits (dispatching messages) for a child window of the class; 0 when none.
HWND waitForChildWindow(HWND parent, const char* className, DWORD timeoutMs);

// Deletes HKCU and HKLM "Software\Quorvane\Zephyrine" with everything below.
void deleteZephyrineKeys();

// Writes HKLM "Software\Quorvane\Zephyrine" "Install path" as a REG_SZ.
void writeInstallPath(const std::wstring& path);
