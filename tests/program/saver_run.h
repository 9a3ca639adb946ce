// The real Zephyrine.scr run as a child process by the bad-input tests: how a
// run is started with an exact command line, what it ended with, and the user
// key it must leave alone.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/win_test_support.h"

// Every run of the saver must end within this, and every window it shows
// must appear within it.
constexpr DWORD kBound = 15000;

// The built saver's path in quotes, as a command line names it.
std::wstring quotedSaver();

// Starts the saver with exactly `line` as its command line: the program is
// named apart from it, so the line need not name the program at all.
bool startWithExactLine(ChildProcess& child, const std::wstring& line);

std::string windowText(HWND window);

// A borderless host window of the test whose client area is exactly
// width x height.
HWND createBorderlessHost(int width, int height);

// Creates the settings key under root with no values.
void createEmptyKey(HKEY root);

// The whole user key as one comparable text: its values' names, types and
// data; "none" when the key does not exist.
std::string userKeyImage();

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

// A configure command line without a handle: after a successful start-up it
// ends with 1 and no message, so it shows that the install path was found and
// all eight pictures loaded.
extern const wchar_t kStartUpProbe[];
extern const QuickEnd kStartedUp;
extern const QuickEnd kDamagedInstallation;
extern const QuickEnd kPicturesMissing;
extern const QuickEnd kNoWindow;

// Runs the saver with `line` under a message-box closer and checks that it
// ends within the bound with the exit code and the one message expected.
void expectQuickEnd(const std::wstring& line, QuickEnd expected);

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
ConfigureEnd endConfigureRun(ChildProcess& run, DWORD timeoutMs);
