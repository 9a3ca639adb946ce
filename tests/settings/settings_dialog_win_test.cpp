// Tests of the settings dialog and the About box. Each dialog runs modally on
// a thread of its own while the test thread presses its buttons and reads its
// controls by message; the settings go through the real registry.
#include "settings/settings_dialog_win.h"

#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "app/startup_state_win.h"
#include "res/resource.h"
#include "settings/about_box_win.h"
#include "settings/settings_store_win.h"
#include "support/win_test_support.h"

namespace {

constexpr DWORD kWaitMs = 5000;

struct DialogSearch {
    const char* caption;
    HWND found;
};

BOOL CALLBACK findDialog(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<DialogSearch*>(context);
    char className[16] = {};
    char caption[64] = {};
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, caption, sizeof caption);
    if (std::strcmp(className, "#32770") == 0 && std::strcmp(caption, search->caption) == 0 &&
        IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// A visible dialog of the thread with this caption; nullptr when none showed in time.
HWND waitForDialog(DWORD threadId, const char* caption, DWORD timeoutMs = kWaitMs)
{
    DialogSearch search{caption, nullptr};
    waitUntil(
        [&] {
            EnumThreadWindows(threadId, findDialog, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs);
    return search.found;
}

bool waitUntilGone(HWND window, DWORD timeoutMs = kWaitMs)
{
    return waitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); }, timeoutMs);
}

BOOL CALLBACK cancelDialog(HWND window, LPARAM)
{
    PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

// One dialog run with DialogBoxParamA (no owner) on a thread of its own.
class ModalDialog {
public:
    ModalDialog(int templateId, DLGPROC procedure, const char* caption)
        : templateId_(templateId), procedure_(procedure), caption_(caption)
    {
        thread_ = CreateThread(nullptr, 0, run, this, 0, &threadId_);
    }

    // Cancels whatever the thread still shows, so that a failed test never hangs.
    ~ModalDialog()
    {
        for (int i = 0; i < 50 && !ended(100); ++i) EnumThreadWindows(threadId_, cancelDialog, 0);
        CloseHandle(thread_);
    }

    HWND window() { return waitForDialog(threadId_, caption_); }
    HWND child(const char* caption) { return waitForDialog(threadId_, caption); }
    bool ended(DWORD timeoutMs = kWaitMs) { return WaitForSingleObject(thread_, timeoutMs) == WAIT_OBJECT_0; }
    // What DialogBoxParamA returned; valid once ended().
    INT_PTR result() const { return result_; }

private:
    static DWORD WINAPI run(void* context)
    {
        auto* self = static_cast<ModalDialog*>(context);
        self->result_ = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(self->templateId_), nullptr,
                                        self->procedure_, 0);
        return 0;
    }

    int templateId_;
    DLGPROC procedure_;
    const char* caption_;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    INT_PTR result_ = -100;
};

// Presses a button and waits for the dialog to handle it.
void click(HWND dialog, int id)
{
    DWORD_PTR ignored;
    SendMessageTimeoutA(GetDlgItem(dialog, id), BM_CLICK, 0, 0, SMTO_NORMAL, 30000, &ignored);
}

void setTrackbar(HWND dialog, int id, int position)
{
    SendDlgItemMessageA(dialog, id, TBM_SETPOS, TRUE, position);
}

// What the dialog shows: the index of the checked button of each group (-1
// when none, -2 when more than one is checked) and the trackbar positions.
struct Shown {
    int backgroundType;
    int ballScale;
    int ballCount;
    int opacityPercent;
    bool operator==(const Shown& other) const
    {
        return backgroundType == other.backgroundType && ballScale == other.ballScale &&
               ballCount == other.ballCount && opacityPercent == other.opacityPercent;
    }
};

std::ostream& operator<<(std::ostream& out, const Shown& shown)
{
    return out << "{background " << shown.backgroundType << ", scale " << shown.ballScale << ", "
               << shown.ballCount << " balls, " << shown.opacityPercent << " %}";
}

int checkedButton(HWND dialog, int firstId)
{
    int found = -1;
    for (int i = 0; i < 3; ++i)
        if (SendDlgItemMessageA(dialog, firstId + i, BM_GETCHECK, 0, 0) == BST_CHECKED)
            found = found == -1 ? i : -2;
    return found;
}

Shown shownIn(HWND dialog)
{
    return {checkedButton(dialog, IDC_BACKGROUND_DESKTOP), checkedButton(dialog, IDC_SCALE_50),
            static_cast<int>(SendDlgItemMessageA(dialog, IDC_BALL_COUNT, TBM_GETPOS, 0, 0)),
            static_cast<int>(SendDlgItemMessageA(dialog, IDC_OPACITY, TBM_GETPOS, 0, 0))};
}

Shown recordValues(const Settings& record)
{
    return {record.backgroundType, record.ballScale, record.ballCount, record.opacityPercent};
}

// The four values in the user key; all -1 when the key does not exist, -2 for
// a value that is missing or not a REG_DWORD.
Shown storedValues()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {-1, -1, -1, -1};
    auto read = [key](const wchar_t* name) {
        DWORD value = 0;
        DWORD size = sizeof value;
        DWORD type = 0;
        LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
        return status == ERROR_SUCCESS && type == REG_DWORD ? static_cast<int>(value) : -2;
    };
    Shown stored{read(L"Background"), read(L"Scale of balls"), read(L"Number of balls"), read(L"Opaque")};
    RegCloseKey(key);
    return stored;
}

const Shown kNoKey = {-1, -1, -1, -1};
const Shown kDefaults = {0, 2, 7, 75};
const Shown kStored = {1, 0, 20, 90};

class DialogTest : public testing::Test {
protected:
    void SetUp() override
    {
        startupState.instance = GetModuleHandleA(nullptr);
        loadDisplayStrings(startupState.instance);
        registerDialogClasses();
        deleteZephyrineKeys();
        std::memset(&settings, 0, sizeof settings);
        wcscpy(settings.installPath, L"C:\\Zephyrine");
    }

    // Stores the values in the user key (unless kNoKey) and loads them as start-up does.
    static void startWith(const Shown& values)
    {
        if (!(values == kNoKey)) {
            Settings record = settings;
            record.backgroundType = values.backgroundType;
            record.ballScale = values.ballScale;
            record.ballCount = values.ballCount;
            record.opacityPercent = values.opacityPercent;
            saveSettings(record);
        }
        loadSettings(settings);
    }

    // Opens the settings dialog over these stored values (none with kNoKey),
    // loaded as start-up does; the dialog before it is cancelled.
    HWND openSettings(const Shown& values)
    {
        dialog.reset();
        deleteZephyrineKeys();
        startWith(values);
        dialog = std::make_unique<ModalDialog>(IDD_SETTINGS, settingsDialogProc, "Settings");
        return dialog->window();
    }

    void TearDown() override
    {
        dialog.reset();
        deleteZephyrineKeys();
    }

    std::unique_ptr<ModalDialog> dialog;

    static void expectUnchanged(const Shown& before)
    {
        EXPECT_EQ(before == kNoKey ? kDefaults : before, recordValues(settings));
        EXPECT_EQ(before, storedValues());
        EXPECT_STREQ(L"C:\\Zephyrine", settings.installPath);
    }
};

TEST_F(DialogTest, ShowsTheLoadedSettingsOnTrackbarsSetUpForTheirRanges)
{
    for (const Shown& start : {kNoKey, kStored, Shown{2, 1, 30, 50}, Shown{0, 2, 5, 100}}) {
        SCOPED_TRACE(testing::Message() << "stored " << start);
        HWND window = openSettings(start);
        ASSERT_NE(nullptr, window);
        EXPECT_EQ(start == kNoKey ? kDefaults : start, shownIn(window));

        struct {
            int id, minimum, maximum, lineSize, ticks;
        } trackbars[] = {{IDC_OPACITY, 50, 100, 10, 6}, {IDC_BALL_COUNT, 5, 30, 5, 6}};
        for (const auto& bar : trackbars) {
            SCOPED_TRACE(bar.id);
            EXPECT_EQ(bar.minimum, SendDlgItemMessageA(window, bar.id, TBM_GETRANGEMIN, 0, 0));
            EXPECT_EQ(bar.maximum, SendDlgItemMessageA(window, bar.id, TBM_GETRANGEMAX, 0, 0));
            EXPECT_EQ(bar.lineSize, SendDlgItemMessageA(window, bar.id, TBM_GETLINESIZE, 0, 0));
            EXPECT_EQ(bar.ticks, SendDlgItemMessageA(window, bar.id, TBM_GETNUMTICS, 0, 0));
        }
        click(window, IDCANCEL);
        ASSERT_TRUE(dialog->ended());
    }
}

TEST_F(DialogTest, OkStoresWhatTheControlsShowInTheRecordAndTheRegistry)
{
    struct Case {
        const char* name;
        Shown start;
        int backgroundButton, scaleButton, ballCount, opacityPercent;  // 0: left alone
        Shown stored;
    } cases[] = {
        {"unchanged defaults create the key", kNoKey, 0, 0, 0, 0, kDefaults},
        {"positions off the line size", kNoKey, IDC_BACKGROUND_BLACK, IDC_SCALE_75, 17, 63, {1, 1, 17, 63}},
        {"last buttons, range ends", kNoKey, IDC_BACKGROUND_WHITE, IDC_SCALE_50, 30, 50, {2, 0, 30, 50}},
        {"first buttons over stored values",
         {2, 0, 20, 90},
         IDC_BACKGROUND_DESKTOP,
         IDC_SCALE_100,
         5,
         100,
         {0, 2, 5, 100}},
        {"positions beyond the ranges stay inside", kStored, 0, 0, 3, 120, {1, 0, 5, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HWND window = openSettings(c.start);
        ASSERT_NE(nullptr, window);
        if (c.backgroundButton) click(window, c.backgroundButton);
        if (c.scaleButton) click(window, c.scaleButton);
        if (c.ballCount) setTrackbar(window, IDC_BALL_COUNT, c.ballCount);
        if (c.opacityPercent) setTrackbar(window, IDC_OPACITY, c.opacityPercent);
        click(window, IDOK);
        ASSERT_TRUE(dialog->ended());
        EXPECT_EQ(IDOK, dialog->result());
        EXPECT_EQ(c.stored, recordValues(settings));
        EXPECT_EQ(c.stored, storedValues());
        EXPECT_STREQ(L"C:\\Zephyrine", settings.installPath);
    }
}

// Ways of closing a dialog; each is posted to the dialog. An About box ends
// with aboutResult.
struct Closing {
    const char* name;
    UINT message;
    WPARAM wParam;
    INT_PTR aboutResult;
};

void PrintTo(const Closing& way, std::ostream* out)
{
    *out << way.name;
}

const Closing kCancelButton = {"CancelButton", WM_COMMAND, IDCANCEL, IDCANCEL};
const Closing kOkButton = {"OkButton", WM_COMMAND, IDOK, IDOK};
const Closing kEnter = {"Enter", WM_KEYDOWN, VK_RETURN, IDOK};
const Closing kEsc = {"Esc", WM_KEYDOWN, VK_ESCAPE, IDCANCEL};
const Closing kCloseButton = {"CloseButton", WM_SYSCOMMAND, SC_CLOSE, IDCANCEL};
const Closing kCloseMessage = {"CloseMessage", WM_CLOSE, 0, IDCANCEL};

// The settings dialog closed without OK, over no key or stored values.
class SettingsCancel : public DialogTest, public testing::WithParamInterface<std::tuple<Closing, Shown>> {};

TEST_P(SettingsCancel, ChangesNeitherRecordNorRegistry)
{
    const Closing& way = std::get<0>(GetParam());
    const Shown& start = std::get<1>(GetParam());
    HWND window = openSettings(start);
    ASSERT_NE(nullptr, window);
    click(window, IDC_BACKGROUND_WHITE);
    click(window, IDC_SCALE_75);
    setTrackbar(window, IDC_BALL_COUNT, 17);
    setTrackbar(window, IDC_OPACITY, 63);
    PostMessageA(window, way.message, way.wParam, 0);
    ASSERT_TRUE(dialog->ended());
    EXPECT_EQ(IDCANCEL, dialog->result());
    expectUnchanged(start);
}

INSTANTIATE_TEST_SUITE_P(Ways, SettingsCancel,
                         testing::Combine(testing::Values(kCancelButton, kEsc, kCloseButton),
                                          testing::Values(kNoKey, kStored)),
                         [](const testing::TestParamInfo<std::tuple<Closing, Shown>>& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) == kNoKey ? "WithoutKey" : "OverStoredValues");
                         });

TEST_F(DialogTest, SetToDefaultShowsTheDefaultsAndOkStoresThem)
{
    HWND window = openSettings(kStored);
    ASSERT_NE(nullptr, window);
    setTrackbar(window, IDC_BALL_COUNT, 17);
    click(window, IDC_SET_TO_DEFAULT);
    EXPECT_EQ(kDefaults, shownIn(window));
    EXPECT_TRUE(IsWindowVisible(window));
    expectUnchanged(kStored);

    click(window, IDOK);
    ASSERT_TRUE(dialog->ended());
    EXPECT_EQ(IDOK, dialog->result());
    EXPECT_EQ(kDefaults, recordValues(settings));
    EXPECT_EQ(kDefaults, storedValues());
    EXPECT_STREQ(L"C:\\Zephyrine", settings.installPath);
}

TEST_F(DialogTest, SetToDefaultThenCancelChangesNothing)
{
    for (const Shown& start : {kNoKey, kStored}) {
        SCOPED_TRACE(testing::Message() << "stored " << start);
        HWND window = openSettings(start);
        ASSERT_NE(nullptr, window);
        click(window, IDC_SET_TO_DEFAULT);
        click(window, IDCANCEL);
        ASSERT_TRUE(dialog->ended());
        EXPECT_EQ(IDCANCEL, dialog->result());
        expectUnchanged(start);
    }
}

BOOL CALLBACK collectVisibleWindow(HWND window, LPARAM context)
{
    if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
    return TRUE;
}

std::vector<HWND> visibleTopLevelWindows()
{
    std::vector<HWND> windows;
    EnumWindows(collectVisibleWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// Closes visible top-level windows of other processes that were not there before.
void closeWindowsOpenedSince(const std::vector<HWND>& before)
{
    for (HWND window : visibleTopLevelWindows()) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        bool old = false;
        for (HWND seen : before) old = old || seen == window;
        if (!old && process != GetCurrentProcessId()) PostMessageA(window, WM_CLOSE, 0, 0);
    }
}

TEST_F(DialogTest, HomePageLeavesTheDialogAsItWas)
{
    MessageBoxCloser closer;  // whatever the shell reports is answered, never waited on
    HWND window = openSettings(kStored);
    ASSERT_NE(nullptr, window);
    setTrackbar(window, IDC_BALL_COUNT, 17);
    const Shown before = shownIn(window);
    const std::vector<HWND> windowsBefore = visibleTopLevelWindows();

    click(window, IDC_HOME_PAGE);
    Sleep(300);  // time for a browser the shell may start to show itself
    closeWindowsOpenedSince(windowsBefore);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(before, shownIn(window));
    expectUnchanged(kStored);

    click(window, IDCANCEL);
    ASSERT_TRUE(dialog->ended());
    EXPECT_EQ(IDCANCEL, dialog->result());
}

struct AboutTexts {
    std::string title, credit, copyright;
};

AboutTexts aboutTexts(HWND about)
{
    char text[3][600] = {};
    GetDlgItemTextA(about, IDC_ABOUT_TITLE, text[0], sizeof text[0]);
    GetDlgItemTextA(about, IDC_ABOUT_CREDIT, text[1], sizeof text[1]);
    GetDlgItemTextA(about, IDC_ABOUT_COPYRIGHT, text[2], sizeof text[2]);
    return {text[0], text[1], text[2]};
}

void expectAboutTexts(HWND about)
{
    char credit[512] = {};
    ASSERT_GT(LoadStringA(GetModuleHandleA(nullptr), IDS_CREDIT, credit, sizeof credit), 0);
    AboutTexts shown = aboutTexts(about);
    EXPECT_EQ("Zephyrine version 2.1", shown.title);
    EXPECT_EQ(credit, shown.credit);
    EXPECT_EQ(startupState.copyrightLine, shown.copyright);
    EXPECT_NE("", shown.copyright);
}

class AboutClosing : public DialogTest, public testing::WithParamInterface<Closing> {};

TEST_P(AboutClosing, OverTheDialogLeavesTheDialogAsItWas)
{
    const Closing& way = GetParam();
    HWND window = openSettings(kStored);
    ASSERT_NE(nullptr, window);
    click(window, IDC_BACKGROUND_WHITE);
    setTrackbar(window, IDC_OPACITY, 63);
    const Shown before = shownIn(window);

    PostMessageA(GetDlgItem(window, IDC_ABOUT), BM_CLICK, 0, 0);
    HWND about = dialog->child("About");
    ASSERT_NE(nullptr, about);
    EXPECT_EQ(window, GetWindow(about, GW_OWNER));
    EXPECT_FALSE(IsWindowEnabled(window));
    ASSERT_NO_FATAL_FAILURE(expectAboutTexts(about));

    PostMessageA(about, WM_COMMAND, IDC_ABOUT_TITLE, 0);  // not a closing command
    EXPECT_FALSE(waitUntilGone(about, 200));

    PostMessageA(about, way.message, way.wParam, 0);
    EXPECT_TRUE(waitUntilGone(about));
    EXPECT_FALSE(dialog->ended(0));
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_TRUE(IsWindowEnabled(window));
    EXPECT_EQ(before, shownIn(window));
    expectUnchanged(kStored);

    click(window, IDCANCEL);
    ASSERT_TRUE(dialog->ended());
    expectUnchanged(kStored);
}

TEST_P(AboutClosing, AloneEndsWithTheIdOfItsClosingCommand)
{
    const Closing& way = GetParam();
    ModalDialog about(IDD_ABOUT, aboutDialogProc, "About");
    HWND window = about.window();
    ASSERT_NE(nullptr, window);
    ASSERT_NO_FATAL_FAILURE(expectAboutTexts(window));
    PostMessageA(window, way.message, way.wParam, 0);
    ASSERT_TRUE(about.ended());
    EXPECT_EQ(way.aboutResult, about.result());
}

INSTANTIATE_TEST_SUITE_P(Ways, AboutClosing, testing::Values(kOkButton, kEnter, kEsc, kCloseButton, kCloseMessage),
                         [](const testing::TestParamInfo<Closing>& info) { return std::string(info.param.name); });

// Each text of the About box fits its control as the static control lays it
// out (centred, broken at words) in the dialog's font, so nothing is cut off.
TEST_F(DialogTest, AboutTextsFitTheirControls)
{
    HWND about =
        CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUT), nullptr, aboutDialogProc, 0);
    ASSERT_NE(nullptr, about);
    for (int id : {IDC_ABOUT_TITLE, IDC_ABOUT_CREDIT, IDC_ABOUT_COPYRIGHT}) {
        HWND control = GetDlgItem(about, id);
        char text[600] = {};
        GetWindowTextA(control, text, sizeof text);
        SCOPED_TRACE(text);
        RECT client;
        GetClientRect(control, &client);
        RECT needed = client;
        needed.bottom = 10000;
        HDC dc = GetDC(control);
        HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
        DrawTextA(dc, text, -1, &needed, DT_CALCRECT | DT_CENTER | DT_WORDBREAK | DT_EXPANDTABS);
        SIZE oneLine = {};
        GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &oneLine);
        SelectObject(dc, previous);
        ReleaseDC(control, dc);
        EXPECT_LE(needed.bottom, client.bottom)
            << "one line is " << oneLine.cx << " pixels, the control " << client.right;
    }
    DestroyWindow(about);
}

}  // namespace
