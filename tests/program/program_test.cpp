// The real Zephyrine.scr started as a child process with real command lines:
// start-up failures, the dispatch per run mode and the exit codes.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <ostream>
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

// Runs the saver with the arguments and checks that it ends with 1 and shows
// the message, or none when message is null.
void expectEndsWithOne(const wchar_t* arguments, const char* message)
{
    SCOPED_TRACE(testing::Message() << "arguments: " << narrow(arguments));
    MessageBoxCloser closer;
    DWORD code = 0;
    ASSERT_TRUE(runProcess(commandLine(arguments), kQuick, &code));
    EXPECT_EQ(1u, code);
    std::vector<SeenMessageBox> boxes = closer.seen();
    if (!message) {
        EXPECT_TRUE(boxes.empty());
        return;
    }
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Zephyrine", boxes[0].caption);
    EXPECT_EQ(message, boxes[0].text);
    EXPECT_TRUE(boxes[0].hasIcon);
}

TEST_F(ProgramTest, DamagedInstallationEndsEveryModeWithItsMessageAndOne)
{
    deleteZephyrineKeys();
    for (const wchar_t* arguments : {L"/s", L"/p 1234", L"/c:1234", L"/a 1234", L""})
        ASSERT_NO_FATAL_FAILURE(expectEndsWithOne(arguments, kDamagedMessage));
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
    EXPECT_EQ(kImagesNotFoundText, boxes[0].text);
    EXPECT_EQ("Zephyrine", boxes[0].caption);
    EXPECT_TRUE(IsWindowEnabled(host)) << "no dialog ever owned the host";
    DestroyWindow(host);
    removeDirectoryTree(folder);
}

TEST_F(ProgramTest, ModesWithoutAHostHandleEndWithOneAndNoMessage)
{
    for (const wchar_t* arguments : {L"/c", L"/p", L"/p:1234", L"/a:0 0", L"/c 5678"})
        ASSERT_NO_FATAL_FAILURE(expectEndsWithOne(arguments, nullptr));
}

// A configure run moves both trackbars in its settings dialog, owned by the
// host, and ends with a button: 0 either way, and only OK saves.
struct ConfigureCase {
    const char* name;
    int button;
    bool saves;
};

void PrintTo(const ConfigureCase& c, std::ostream* out)
{
    *out << c.name;
}

class ProgramConfigure : public ProgramTest, public testing::WithParamInterface<ConfigureCase> {};

TEST_P(ProgramConfigure, EndsWithZeroAndOnlyOkSaves)
{
    const ConfigureCase& c = GetParam();
    HWND host = createHostWindow(300, 200);
    ChildProcess child;
    HWND dialog = nullptr;
    ASSERT_NO_FATAL_FAILURE(startSettingsOf(child, commandLine(L"/c:" + handleText(host)), host, kQuick, &dialog));
    SendMessageA(GetDlgItem(dialog, 1035), TBM_SETPOS, TRUE, 17);
    SendMessageA(GetDlgItem(dialog, 1036), TBM_SETPOS, TRUE, 63);
    PostMessageA(GetDlgItem(dialog, c.button), BM_CLICK, 0, 0);
    EXPECT_EQ(0, child.exitCodeWithin(kQuick));
    const struct {
        const wchar_t* name;
        DWORD saved;
    } values[] = {{L"Number of balls", 17}, {L"Opaque", 63}, {L"Background", 0}, {L"Scale of balls", 2}};
    for (const auto& value : values) {
        SCOPED_TRACE(narrow(value.name));
        bool found = !c.saves;
        const DWORD stored = readUserDword(value.name, &found);
        EXPECT_EQ(c.saves, found);
        if (c.saves) {
            EXPECT_EQ(value.saved, stored);
        }
    }
    DestroyWindow(host);
}

INSTANTIATE_TEST_SUITE_P(Buttons, ProgramConfigure,
                         testing::Values(ConfigureCase{"OkSaves", IDOK, true},
                                         ConfigureCase{"CancelWritesNothing", IDCANCEL, false}),
                         [](const testing::TestParamInfo<ConfigureCase>& info) {
                             return std::string(info.param.name);
                         });

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
    ASSERT_NO_FATAL_FAILURE(startSaver());
    EXPECT_TRUE(coversTheScreen(saver));
    PostMessageA(saver, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(0, child.exitCodeWithin(kQuick));
}

TEST_F(FullScreenTest, TenPixelMovesKeepItRunningAnElevenPixelJumpEndsIt)
{
    ASSERT_NO_FATAL_FAILURE(startSaver());
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
