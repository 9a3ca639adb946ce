// Tests of the settings dialog and the About box. Each dialog runs modally on
// a thread of its own while the test thread presses its buttons and reads its
// controls by message; the settings go through the real registry.
#include "settings/settings_dialog_win.h"

#include <windows.h>
#include <commctrl.h>
#include <gdiplus.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
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
    DWORD start = GetTickCount();
    do {
        DialogSearch search{caption, nullptr};
        EnumThreadWindows(threadId, findDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        Sleep(10);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

bool waitUntilGone(HWND window, DWORD timeoutMs = kWaitMs)
{
    DWORD start = GetTickCount();
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(10);
    }
    return true;
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
        for (int i = 0; i < 50 && !ended(100); ++i)
            EnumThreadWindows(threadId_, cancelDialog, 0);
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

    void TearDown() override { deleteZephyrineKeys(); }

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
        deleteZephyrineKeys();
        startWith(start);
        ModalDialog dialog(IDD_SETTINGS, settingsDialogProc, "Settings");
        HWND window = dialog.window();
        ASSERT_NE(nullptr, window);
        EXPECT_EQ(start == kNoKey ? kDefaults : start, shownIn(window));

        struct { int id, minimum, maximum, lineSize, ticks; } trackbars[] = {
            {IDC_OPACITY, 50, 100, 10, 6}, {IDC_BALL_COUNT, 5, 30, 5, 6}};
        for (const auto& bar : trackbars) {
            SCOPED_TRACE(bar.id);
            EXPECT_EQ(bar.minimum, SendDlgItemMessageA(window, bar.id, TBM_GETRANGEMIN, 0, 0));
            EXPECT_EQ(bar.maximum, SendDlgItemMessageA(window, bar.id, TBM_GETRANGEMAX, 0, 0));
            EXPECT_EQ(bar.lineSize, SendDlgItemMessageA(window, bar.id, TBM_GETLINESIZE, 0, 0));
            EXPECT_EQ(bar.ticks, SendDlgItemMessageA(window, bar.id, TBM_GETNUMTICS, 0, 0));
        }
        click(window, IDCANCEL);
        ASSERT_TRUE(dialog.ended());
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
        {"first buttons over stored values", {2, 0, 20, 90}, IDC_BACKGROUND_DESKTOP, IDC_SCALE_100, 5, 100,
         {0, 2, 5, 100}},
        {"positions beyond the ranges stay inside", kStored, 0, 0, 3, 120, {1, 0, 5, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        deleteZephyrineKeys();
        startWith(c.start);
        ModalDialog dialog(IDD_SETTINGS, settingsDialogProc, "Settings");
        HWND window = dialog.window();
        ASSERT_NE(nullptr, window);
        if (c.backgroundButton) click(window, c.backgroundButton);
        if (c.scaleButton) click(window, c.scaleButton);
        if (c.ballCount) setTrackbar(window, IDC_BALL_COUNT, c.ballCount);
        if (c.opacityPercent) setTrackbar(window, IDC_OPACITY, c.opacityPercent);
        click(window, IDOK);
        ASSERT_TRUE(dialog.ended());
        EXPECT_EQ(IDOK, dialog.result());
        EXPECT_EQ(c.stored, recordValues(settings));
        EXPECT_EQ(c.stored, storedValues());
        EXPECT_STREQ(L"C:\\Zephyrine", settings.installPath);
    }
}

// Ways of closing a dialog without OK; each is posted to the dialog.
struct Closing {
    const char* name;
    UINT message;
    WPARAM wParam;
};
const Closing kCancelWays[] = {
    {"Cancel button", WM_COMMAND, IDCANCEL},
    {"Esc", WM_KEYDOWN, VK_ESCAPE},
    {"close button", WM_SYSCOMMAND, SC_CLOSE},
};

TEST_F(DialogTest, CancelChangesNeitherRecordNorRegistry)
{
    for (const Shown& start : {kNoKey, kStored}) {
        for (const Closing& way : kCancelWays) {
            SCOPED_TRACE(testing::Message() << way.name << ", stored " << start);
            deleteZephyrineKeys();
            startWith(start);
            ModalDialog dialog(IDD_SETTINGS, settingsDialogProc, "Settings");
            HWND window = dialog.window();
            ASSERT_NE(nullptr, window);
            click(window, IDC_BACKGROUND_WHITE);
            click(window, IDC_SCALE_75);
            setTrackbar(window, IDC_BALL_COUNT, 17);
            setTrackbar(window, IDC_OPACITY, 63);
            PostMessageA(window, way.message, way.wParam, 0);
            ASSERT_TRUE(dialog.ended());
            EXPECT_EQ(IDCANCEL, dialog.result());
            expectUnchanged(start);
        }
    }
}

TEST_F(DialogTest, SetToDefaultShowsTheDefaultsAndOkStoresThem)
{
    startWith(kStored);
    ModalDialog dialog(IDD_SETTINGS, settingsDialogProc, "Settings");
    HWND window = dialog.window();
    ASSERT_NE(nullptr, window);
    setTrackbar(window, IDC_BALL_COUNT, 17);
    click(window, IDC_SET_TO_DEFAULT);
    EXPECT_EQ(kDefaults, shownIn(window));
    EXPECT_TRUE(IsWindowVisible(window));
    expectUnchanged(kStored);

    click(window, IDOK);
    ASSERT_TRUE(dialog.ended());
    EXPECT_EQ(IDOK, dialog.result());
    EXPECT_EQ(kDefaults, recordValues(settings));
    EXPECT_EQ(kDefaults, storedValues());
    EXPECT_STREQ(L"C:\\Zephyrine", settings.installPath);
}

TEST_F(DialogTest, SetToDefaultThenCancelChangesNothing)
{
    for (const Shown& start : {kNoKey, kStored}) {
        SCOPED_TRACE(testing::Message() << "stored " << start);
        deleteZephyrineKeys();
        startWith(start);
        ModalDialog dialog(IDD_SETTINGS, settingsDialogProc, "Settings");
        HWND window = dialog.window();
        ASSERT_NE(nullptr, window);
        click(window, IDC_SET_TO_DEFAULT);
        click(window, IDCANCEL);
        ASSERT_TRUE(dialog.ended());
        EXPECT_EQ(IDCANCEL, dialog.result());
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
    startWith(kStored);
    ModalDialog dialog(IDD_SETTINGS, settingsDialogProc, "Settings");
    HWND window = dialog.window();
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
    ASSERT_TRUE(dialog.ended());
    EXPECT_EQ(IDCANCEL, dialog.result());
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

TEST_F(DialogTest, AboutOpensOverTheDialogAndEachWayOfClosingItLeavesTheDialogAsItWas)
{
    const Closing aboutClosings[] = {
        {"OK button", WM_COMMAND, IDOK},
        {"Enter", WM_KEYDOWN, VK_RETURN},
        {"Esc", WM_KEYDOWN, VK_ESCAPE},
        {"close button", WM_SYSCOMMAND, SC_CLOSE},
        {"close message", WM_CLOSE, 0},
    };
    startWith(kStored);
    ModalDialog dialog(IDD_SETTINGS, settingsDialogProc, "Settings");
    HWND window = dialog.window();
    ASSERT_NE(nullptr, window);
    click(window, IDC_BACKGROUND_WHITE);
    setTrackbar(window, IDC_OPACITY, 63);
    const Shown before = shownIn(window);

    for (const Closing& way : aboutClosings) {
        SCOPED_TRACE(way.name);
        PostMessageA(GetDlgItem(window, IDC_ABOUT), BM_CLICK, 0, 0);
        HWND about = dialog.child("About");
        ASSERT_NE(nullptr, about);
        EXPECT_EQ(window, GetWindow(about, GW_OWNER));
        EXPECT_FALSE(IsWindowEnabled(window));
        expectAboutTexts(about);

        PostMessageA(about, WM_COMMAND, IDC_ABOUT_TITLE, 0);  // not a closing command
        EXPECT_FALSE(waitUntilGone(about, 200));

        PostMessageA(about, way.message, way.wParam, 0);
        EXPECT_TRUE(waitUntilGone(about));
        EXPECT_FALSE(dialog.ended(0));
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_TRUE(IsWindowEnabled(window));
        EXPECT_EQ(before, shownIn(window));
        expectUnchanged(kStored);
    }
    click(window, IDCANCEL);
    ASSERT_TRUE(dialog.ended());
    expectUnchanged(kStored);
}

// Each text of the About box fits its control as the static control lays it
// out (centred, broken at words) in the dialog's font, so nothing is cut off.
TEST_F(DialogTest, AboutTextsFitTheirControls)
{
    HWND about = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUT), nullptr,
                                    aboutDialogProc, 0);
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
        EXPECT_LE(needed.bottom, client.bottom) << "one line is " << oneLine.cx << " pixels, the control "
                                                << client.right;
    }
    DestroyWindow(about);
}

TEST_F(DialogTest, AboutBoxEndsWithTheIdOfItsClosingCommand)
{
    struct Case {
        Closing way;
        INT_PTR result;
    } cases[] = {
        {{"OK button", WM_COMMAND, IDOK}, IDOK},
        {{"Enter", WM_KEYDOWN, VK_RETURN}, IDOK},
        {{"Esc", WM_KEYDOWN, VK_ESCAPE}, IDCANCEL},
        {{"close button", WM_SYSCOMMAND, SC_CLOSE}, IDCANCEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.way.name);
        ModalDialog about(IDD_ABOUT, aboutDialogProc, "About");
        HWND window = about.window();
        ASSERT_NE(nullptr, window);
        expectAboutTexts(window);
        PostMessageA(window, c.way.message, c.way.wParam, 0);
        ASSERT_TRUE(about.ended());
        EXPECT_EQ(c.result, about.result());
    }
}

// ---- The compiled dialog templates, read back from the program's resources ----

struct Item {
    int id;
    std::string className;  // upper case
    std::string text;       // "#n" for a resource ordinal
    DWORD style;       // without WS_CHILD | WS_VISIBLE
    DWORD exStyle;
    short x, y, cx, cy;
};

struct Template {
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string menu, className, caption, typeface;
    WORD pointSize = 0, weight = 0;
    BYTE italic = 0, charset = 0;
    std::vector<Item> items;
};

const WORD* skipToDword(const BYTE* base, const WORD* at)
{
    size_t offset = reinterpret_cast<const BYTE*>(at) - base;
    return reinterpret_cast<const WORD*>(base + ((offset + 3) & ~size_t(3)));
}

// Reads a name-or-ordinal field: "" for none, "#n" for an ordinal, the text otherwise.
std::string readNameOrOrdinal(const WORD*& at)
{
    if (*at == 0) {
        ++at;
        return "";
    }
    if (*at == 0xFFFF) {
        std::string ordinal = "#" + std::to_string(at[1]);
        at += 2;
        return ordinal;
    }
    std::string text;
    while (*at) text += static_cast<char>(*at++);
    ++at;
    return text;
}

std::string upperClassName(std::string name)
{
    const char* predefined[] = {"BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX"};
    for (int i = 0; i < 6; ++i)
        if (name == "#" + std::to_string(0x80 + i)) return predefined[i];
    for (char& c : name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return name;
}

bool readTemplate(int id, Template& out)
{
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), RT_DIALOG);
    if (!resource) return false;
    const BYTE* base = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
    if (!base) return false;

#pragma pack(push, 1)
    struct Header {
        WORD version, signature;
        DWORD helpId, exStyle, style;
        WORD itemCount;
        short x, y, cx, cy;
    };
    struct ItemHeader {
        DWORD helpId, exStyle, style;
        short x, y, cx, cy;
        DWORD id;
    };
#pragma pack(pop)
    Header header;
    std::memcpy(&header, base, sizeof header);
    if (header.version != 1 || header.signature != 0xFFFF) return false;
    out.style = header.style;
    out.exStyle = header.exStyle;
    out.x = header.x, out.y = header.y, out.cx = header.cx, out.cy = header.cy;
    const WORD* at = reinterpret_cast<const WORD*>(base + sizeof header);
    out.menu = readNameOrOrdinal(at);
    out.className = readNameOrOrdinal(at);
    out.caption = readNameOrOrdinal(at);
    if (header.style & (DS_SETFONT | DS_SHELLFONT)) {
        out.pointSize = at[0];
        out.weight = at[1];
        out.italic = LOBYTE(at[2]);
        out.charset = HIBYTE(at[2]);
        at += 3;
        out.typeface = readNameOrOrdinal(at);
    }
    for (int i = 0; i < header.itemCount; ++i) {
        at = skipToDword(base, at);
        ItemHeader item;
        std::memcpy(&item, at, sizeof item);
        at = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(at) + sizeof item);
        std::string className = upperClassName(readNameOrOrdinal(at));
        std::string text = readNameOrOrdinal(at);
        WORD extraBytes = *at++;
        at = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(at) + extraBytes);
        out.items.push_back({static_cast<int>(item.id), className, text, item.style, item.exStyle, item.x, item.y,
                             item.cx, item.cy});
    }
    return true;
}

const DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT | DS_FIXEDSYS;
const DWORD kRadio = BS_AUTORADIOBUTTON | WS_TABSTOP;
const DWORD kLabel = SS_CENTER | WS_GROUP;
const DWORD kTrackbar = TBS_AUTOTICKS | TBS_HORZ | WS_TABSTOP;
const DWORD kClear = WS_EX_TRANSPARENT;

const Item kSettingsItems[] = {
    {1032, "BUTTON", "Desktop", kRadio | WS_GROUP, kClear, 17, 19, 44, 11},
    {1033, "BUTTON", "Black", kRadio, kClear, 92, 19, 32, 11},
    {1034, "BUTTON", "White", kRadio, kClear, 155, 19, 36, 11},
    {1037, "BUTTON", "50%", kRadio | WS_GROUP, kClear, 15, 59, 33, 11},
    {1038, "BUTTON", "75%", kRadio, kClear, 92, 59, 33, 11},
    {1039, "BUTTON", "100%", kRadio, kClear, 155, 59, 33, 11},
    {1035, "MSCTLS_TRACKBAR32", "", kTrackbar, kClear, 31, 96, 146, 19},
    {1036, "MSCTLS_TRACKBAR32", "", kTrackbar, kClear, 31, 136, 146, 19},
    {IDOK, "BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 214, 7, 50, 14},
    {6, "BUTTON", "Set to default", BS_PUSHBUTTON | WS_TABSTOP, 0, 214, 23, 50, 14},
    {9, "BUTTON", "About", BS_PUSHBUTTON | WS_TABSTOP, 0, 214, 39, 50, 14},
    {8, "BUTTON", "Home page", BS_PUSHBUTTON | WS_TABSTOP, 0, 214, 56, 50, 14},
    {IDCANCEL, "BUTTON", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 0, 214, 88, 50, 14},
    {-1, "BUTTON", "Type of background", BS_GROUPBOX, kClear, 7, 3, 197, 37},
    {-1, "BUTTON", "Number of balls", BS_GROUPBOX, kClear, 7, 85, 197, 37},
    {-1, "STATIC", "5", kLabel, kClear, 11, 107, 20, 8},
    {-1, "STATIC", "30", kLabel, kClear, 179, 107, 20, 8},
    {-1, "BUTTON", "Opaque", BS_GROUPBOX, kClear, 7, 125, 197, 37},
    {-1, "STATIC", "50%", kLabel, kClear, 11, 147, 20, 8},
    {-1, "STATIC", "100%", kLabel, kClear, 179, 147, 20, 8},
    {-1, "BUTTON", "Scale of balls", BS_GROUPBOX, kClear, 7, 44, 197, 37},
};

const Item kAboutItems[] = {
    {IDOK, "BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 151, 7, 50, 14},
    {1009, "STATIC", "Static", kLabel, WS_EX_STATICEDGE | kClear, 7, 53, 137, 12},
    {1010, "STATIC", "Static", kLabel, WS_EX_STATICEDGE | kClear, 7, 70, 137, 12},
    {1011, "STATIC", "Static", kLabel, WS_EX_STATICEDGE | kClear, 7, 89, 137, 12},
    {1014, "STATIC", "#135", SS_BITMAP, WS_EX_STATICEDGE, 7, 7, 137, 39},
};

struct TemplateCase {
    int id;
    const char* caption;
    short cx, cy;
    const Item* items;
    size_t itemCount;
};

const TemplateCase kTemplates[] = {
    {IDD_SETTINGS, "Settings", 271, 170, kSettingsItems, sizeof kSettingsItems / sizeof *kSettingsItems},
    {IDD_ABOUT, "About", 208, 108, kAboutItems, sizeof kAboutItems / sizeof *kAboutItems},
};

TEST(DialogTemplates, HoldTheirStylesFontAndControlsInTabOrder)
{
    for (const TemplateCase& expected : kTemplates) {
        SCOPED_TRACE(expected.caption);
        Template actual;
        ASSERT_TRUE(readTemplate(expected.id, actual));
        EXPECT_EQ(kDialogStyle, actual.style);
        EXPECT_EQ(0u, actual.exStyle);
        EXPECT_EQ(0, actual.x);
        EXPECT_EQ(0, actual.y);
        EXPECT_EQ(expected.cx, actual.cx);
        EXPECT_EQ(expected.cy, actual.cy);
        EXPECT_EQ("", actual.menu);
        EXPECT_EQ("", actual.className);
        EXPECT_EQ(expected.caption, actual.caption);
        EXPECT_EQ(8, actual.pointSize);
        EXPECT_EQ(400, actual.weight);
        EXPECT_EQ(0, actual.italic);
        EXPECT_EQ(1, actual.charset);
        EXPECT_EQ("MS Shell Dlg", actual.typeface);
        ASSERT_EQ(expected.itemCount, actual.items.size());
        for (size_t i = 0; i < expected.itemCount; ++i) {
            const Item& want = expected.items[i];
            const Item& got = actual.items[i];
            SCOPED_TRACE(testing::Message() << "control " << i + 1 << " \"" << want.text << "\"");
            EXPECT_EQ(want.id, got.id);
            EXPECT_EQ(want.className, got.className);
            EXPECT_EQ(want.text, got.text);
            EXPECT_EQ(want.style | WS_CHILD | WS_VISIBLE, got.style);
            EXPECT_EQ(want.exStyle, got.exStyle);
            EXPECT_EQ(want.x, got.x);
            EXPECT_EQ(want.y, got.y);
            EXPECT_EQ(want.cx, got.cx);
            EXPECT_EQ(want.cy, got.cy);
        }
    }
}

// The created dialogs have every control, of its class and in template order,
// and the About box's picture control holds the 203 x 61 logo.
TEST_F(DialogTest, CreatedDialogsHoldTheTemplateControlsInOrder)
{
    struct { const TemplateCase& layout; DLGPROC procedure; } dialogs[] = {
        {kTemplates[0], settingsDialogProc}, {kTemplates[1], aboutDialogProc}};
    for (const auto& d : dialogs) {
        SCOPED_TRACE(d.layout.caption);
        HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(d.layout.id), nullptr,
                                         d.procedure, 0);
        ASSERT_NE(nullptr, dialog);
        char caption[64] = {};
        GetWindowTextA(dialog, caption, sizeof caption);
        EXPECT_STREQ(d.layout.caption, caption);
        HWND child = GetWindow(dialog, GW_CHILD);
        for (size_t i = 0; i < d.layout.itemCount; ++i, child = GetWindow(child, GW_HWNDNEXT)) {
            const Item& want = d.layout.items[i];
            SCOPED_TRACE(testing::Message() << "control " << i + 1 << " \"" << want.text << "\"");
            ASSERT_NE(nullptr, child);
            char className[64] = {};
            GetClassNameA(child, className, sizeof className);
            EXPECT_EQ(want.className, upperClassName(className));
            EXPECT_EQ(static_cast<WORD>(want.id), static_cast<WORD>(GetDlgCtrlID(child)));
            // Radio buttons pass WS_TABSTOP to the checked one, so only the template can tell it.
            DWORD style = (want.style | WS_CHILD | WS_VISIBLE) & ~WS_TABSTOP;
            EXPECT_EQ(style, static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE)) & style);
            EXPECT_EQ(want.exStyle, static_cast<DWORD>(GetWindowLongA(child, GWL_EXSTYLE)) & want.exStyle);
        }
        EXPECT_EQ(nullptr, child);
        if (d.layout.id == IDD_ABOUT) {
            auto logo = reinterpret_cast<HBITMAP>(SendDlgItemMessageA(dialog, IDC_ABOUT_LOGO, STM_GETIMAGE,
                                                                      IMAGE_BITMAP, 0));
            BITMAP bitmap = {};
            ASSERT_NE(0, GetObjectA(logo, sizeof bitmap, &bitmap));
            EXPECT_EQ(203, bitmap.bmWidth);
            EXPECT_EQ(61, bitmap.bmHeight);
        }
        DestroyWindow(dialog);
    }
}

// ---- Pictures of both dialogs for the documentation ----

bool pngEncoder(CLSID& encoder)
{
    UINT count = 0, bytes = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) return false;
    std::vector<BYTE> buffer(bytes);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i)
        if (wcscmp(codecs[i].MimeType, L"image/png") == 0) {
            encoder = codecs[i].Clsid;
            return true;
        }
    return false;
}

// Copies the window as it stands on the screen into a PNG file.
bool saveWindowPicture(HWND window, const std::wstring& path)
{
    RECT frame;
    GetWindowRect(window, &frame);
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP picture = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, picture);
    BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    CLSID encoder;
    bool saved = false;
    if (pngEncoder(encoder)) {
        Gdiplus::Bitmap bitmap(picture, nullptr);
        saved = bitmap.Save(path.c_str(), &encoder, nullptr) == Gdiplus::Ok;
    }
    DeleteObject(picture);
    return saved;
}

// Saves settings-dialog.png and about-box.png into the folder that
// ZEPHYRINE_SCREENSHOT_DIR names (a Windows path); skipped when it is not set.
TEST_F(DialogTest, SavesScreenshotsOfBothDialogs)
{
    const char* folder = std::getenv("ZEPHYRINE_SCREENSHOT_DIR");
    if (!folder || !*folder) GTEST_SKIP() << "ZEPHYRINE_SCREENSHOT_DIR is not set";
    wchar_t wideFolder[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, folder, -1, wideFolder, MAX_PATH);

    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    ASSERT_EQ(Gdiplus::Ok, Gdiplus::GdiplusStartup(&token, &input, nullptr));
    startWith(kNoKey);
    {
        ModalDialog dialog(IDD_SETTINGS, settingsDialogProc, "Settings");
        HWND window = dialog.window();
        ASSERT_NE(nullptr, window);
        Sleep(500);
        EXPECT_TRUE(saveWindowPicture(window, std::wstring(wideFolder) + L"\\settings-dialog.png"));

        PostMessageA(GetDlgItem(window, IDC_ABOUT), BM_CLICK, 0, 0);
        HWND about = dialog.child("About");
        ASSERT_NE(nullptr, about);
        Sleep(500);
        EXPECT_TRUE(saveWindowPicture(about, std::wstring(wideFolder) + L"\\about-box.png"));
        PostMessageA(about, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(waitUntilGone(about));
        click(window, IDCANCEL);
        EXPECT_TRUE(dialog.ended());
    }
    Gdiplus::GdiplusShutdown(token);
}

}  // namespace
