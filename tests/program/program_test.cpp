// The real Zephyrine.scr started as a child process with real command lines:
// start-up failures, the dispatch per run mode and the exit codes.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "support/win_test_support.h"

namespace {

constexpr DWORD kQuick = 15000;

std::wstring commandLine(const std::wstring& arguments)
{
    return L"\"" + saverPath() + L"\" " + arguments;
}

DWORD readUserDword(const wchar_t* name, bool* found)
{
    DWORD value = 0;
    DWORD size = sizeof value;
    *found = RegGetValueW(HKEY_CURRENT_USER, L"Software\\Quorvane\\Zephyrine", name, RRF_RT_REG_DWORD, nullptr,
                          &value, &size) == ERROR_SUCCESS;
    return value;
}

class ProgramTest : public testing::Test {
protected:
    void SetUp() override
    {
        deleteZephyrineKeys();
        writeInstallPath(distDirectory());
    }
    void TearDown() override { deleteZephyrineKeys(); }
};

TEST_F(ProgramTest, DamagedInstallationEndsEveryModeWithItsMessageAndOne)
{
    deleteZephyrineKeys();
    for (const wchar_t* arguments : {L"/s", L"/p 1234", L"/c:1234", L"/a 1234", L""}) {
        SCOPED_TRACE(testing::Message() << "arguments: " << std::string(arguments, arguments + wcslen(arguments)));
        MessageBoxCloser closer;
        DWORD code = 0;
        ASSERT_TRUE(runProcess(commandLine(arguments), kQuick, &code));
        EXPECT_EQ(1u, code);
        std::vector<SeenMessageBox> boxes = closer.seen();
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ("Zephyrine", boxes[0].caption);
        EXPECT_EQ(kDamagedMessage, boxes[0].text);
        EXPECT_TRUE(boxes[0].hasIcon);
    }
}

TEST_F(ProgramTest, MissingPictureEndsConfigureWithThreeBeforeAnyDialog)
{
    std::wstring folder = makeTempDirectory(L"zephyrine-pictures");
    for (int n = 1; n <= 8; ++n) {
        if (n == 5) continue;
        std::wstring name = L"\\" + std::to_wstring(n) + L".png";
        ASSERT_TRUE(copyFileTo(distDirectory() + name, folder + name));
    }
    writeInstallPath(folder);
    HWND host = createHostWindow(300, 200);
    MessageBoxCloser closer;
    ChildProcess child;
    ASSERT_TRUE(child.start(commandLine(L"/c:" + handleText(host))));
    EXPECT_EQ(3, child.exitCodeWithin(kQuick));
    std::vector<SeenMessageBox> boxes = closer.seen();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(kImagesNotFoundMessage, boxes[0].text);
    EXPECT_EQ("Zephyrine", boxes[0].caption);
    EXPECT_TRUE(IsWindowEnabled(host)) << "no dialog ever owned the host";
    DestroyWindow(host);
    removeDirectoryTree(folder);
}

TEST_F(ProgramTest, ModesWithoutAHostHandleEndWithOneAndNoMessage)
{
    for (const wchar_t* arguments : {L"/c", L"/p", L"/p:1234", L"/a:0 0", L"/c 5678"}) {
        SCOPED_TRACE(testing::Message() << "arguments: " << std::string(arguments, arguments + wcslen(arguments)));
        MessageBoxCloser closer;
        DWORD code = 0;
        ASSERT_TRUE(runProcess(commandLine(arguments), kQuick, &code));
        EXPECT_EQ(1u, code);
        EXPECT_TRUE(closer.seen().empty());
    }
}

TEST_F(ProgramTest, ConfigureShowsSettingsOwnedByTheHostAndOkSaves)
{
    HWND host = createHostWindow(300, 200);
    ChildProcess child;
    ASSERT_TRUE(child.start(commandLine(L"/c:" + handleText(host))));
    HWND dialog = waitForProcessWindow(child.id, "#32770", kQuick);
    ASSERT_NE(nullptr, dialog);
    char caption[64] = {};
    GetWindowTextA(dialog, caption, sizeof caption);
    EXPECT_STREQ("Settings", caption);
    EXPECT_EQ(host, GetWindow(dialog, GW_OWNER));
    SendMessageA(GetDlgItem(dialog, 1035), TBM_SETPOS, TRUE, 17);
    SendMessageA(GetDlgItem(dialog, 1036), TBM_SETPOS, TRUE, 63);
    PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    EXPECT_EQ(0, child.exitCodeWithin(kQuick));
    bool found = false;
    EXPECT_EQ(17u, readUserDword(L"Number of balls", &found));
    EXPECT_TRUE(found);
    EXPECT_EQ(63u, readUserDword(L"Opaque", &found));
    EXPECT_EQ(0u, readUserDword(L"Background", &found));
    EXPECT_EQ(2u, readUserDword(L"Scale of balls", &found));
    DestroyWindow(host);
}

TEST_F(ProgramTest, ConfigureCancelEndsWithZeroAndWritesNothing)
{
    HWND host = createHostWindow(300, 200);
    ChildProcess child;
    ASSERT_TRUE(child.start(commandLine(L"/c:" + handleText(host))));
    HWND dialog = waitForProcessWindow(child.id, "#32770", kQuick);
    ASSERT_NE(nullptr, dialog);
    SendMessageA(GetDlgItem(dialog, 1035), TBM_SETPOS, TRUE, 20);
    PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    EXPECT_EQ(0, child.exitCodeWithin(kQuick));
    bool found = true;
    readUserDword(L"Number of balls", &found);
    EXPECT_FALSE(found);
    DestroyWindow(host);
}

TEST_F(ProgramTest, PreviewRunsAsAChildOfTheHostUntilTheHostIsDestroyed)
{
    HWND host = createHostWindow(320, 240);
    ChildProcess child;
    ASSERT_TRUE(child.start(commandLine(L"/p " + handleText(host))));
    HWND preview = waitForChildWindow(host, "ZEPHYRINE", kQuick);
    ASSERT_NE(nullptr, preview);
    EXPECT_EQ(host, GetParent(preview));
    RECT hostClient, previewClient;
    GetClientRect(host, &hostClient);
    GetClientRect(preview, &previewClient);
    EXPECT_EQ(hostClient.right, previewClient.right);
    EXPECT_EQ(hostClient.bottom, previewClient.bottom);
    EXPECT_EQ(-1, child.exitCodeWithin(300)) << "the preview keeps running";
    DestroyWindow(host);
    EXPECT_EQ(0, child.exitCodeWithin(kQuick));
}

TEST_F(ProgramTest, PreviewIntoAWindowThatDoesNotExistEndsWithZero)
{
    MessageBoxCloser closer;
    DWORD code = 99;
    ASSERT_TRUE(runProcess(commandLine(L"/p 1234567"), kQuick, &code));
    EXPECT_EQ(0u, code);
    EXPECT_TRUE(closer.seen().empty());
}

// Moves the pointer and waits until the system reports it there, so that
// another process reading it sees the new place.
bool placePointer(int x, int y)
{
    SetCursorPos(x, y);
    for (int tries = 0; tries < 100; ++tries) {
        POINT position;
        if (GetCursorPos(&position) && position.x == x && position.y == y) return true;
        pumpMessagesFor(10);
    }
    return false;
}

class FullScreenTest : public ProgramTest {
protected:
    void startSaver()
    {
        // Wine moves the X pointer only for a thread with windows of its own;
        // without one, other processes would still read the old position.
        pointerOwner = createHostWindow(10, 10);
        ASSERT_TRUE(placePointer(600, 400));
        pumpMessagesFor(200);
        ASSERT_TRUE(child.start(commandLine(L"/s")));
        saver = waitForProcessWindow(child.id, "ZEPHYRINE", kQuick);
        ASSERT_NE(nullptr, saver);
        pumpMessagesFor(300);
        ASSERT_EQ(-1, child.exitCodeWithin(0)) << "the saver runs after it appeared";
    }
    void moveTo(int x, int y)
    {
        ASSERT_TRUE(placePointer(x, y));
        PostMessageA(saver, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
        pumpMessagesFor(300);
    }
    void TearDown() override
    {
        if (pointerOwner) DestroyWindow(pointerOwner);
        ProgramTest::TearDown();
    }
    ChildProcess child;
    HWND saver = nullptr;
    HWND pointerOwner = nullptr;
};

TEST_F(FullScreenTest, CoversTheScreenAndEndsWithZeroOnAKey)
{
    startSaver();
    RECT area;
    GetWindowRect(saver, &area);
    EXPECT_EQ(0, area.left);
    EXPECT_EQ(0, area.top);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), area.right);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), area.bottom);
    EXPECT_TRUE(GetWindowLongA(saver, GWL_EXSTYLE) & WS_EX_TOPMOST);
    PostMessageA(saver, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(0, child.exitCodeWithin(kQuick));
}

TEST_F(FullScreenTest, TenPixelMovesKeepItRunningAnElevenPixelJumpEndsIt)
{
    startSaver();
    moveTo(610, 410);
    pumpMessagesFor(200);
    moveTo(620, 420);
    pumpMessagesFor(200);
    EXPECT_EQ(-1, child.exitCodeWithin(0)) << "moves of 10 pixels follow the pointer";
    moveTo(631, 420);
    EXPECT_EQ(0, child.exitCodeWithin(kQuick));
}

TEST_F(ProgramTest, ChangePasswordRunsTheSystemComponentAndEndsWithZero)
{
    // The system's own MPR.DLL has the entry point, so the call is made.
    HWND host = createHostWindow(300, 200);
    MessageBoxCloser closer;
    ChildProcess child;
    ASSERT_TRUE(child.start(commandLine(L"/a " + handleText(host))));
    EXPECT_EQ(0, child.exitCodeWithin(kQuick));
    EXPECT_TRUE(closer.seen().empty());
    DestroyWindow(host);
}

}  // namespace
