// The compiled dialog templates of the settings dialog and the About box,
// read back from the program's resources, and the dialogs created from them.
#include "settings/settings_dialog_win.h"

#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "app/startup_state_win.h"
#include "res/resource.h"
#include "settings/about_box_win.h"
#include "settings/settings.h"

namespace {

struct Item {
    int id;
    std::string className;  // upper case
    std::string text;       // "#n" for a resource ordinal
    DWORD style;            // without WS_CHILD | WS_VISIBLE
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

const DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT |
                           DS_FIXEDSYS;
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
TEST(DialogTemplates, CreatedDialogsHoldTheTemplateControlsInOrder)
{
    startupState.instance = GetModuleHandleA(nullptr);
    loadDisplayStrings(startupState.instance);
    registerDialogClasses();
    resetToDefaults(settings);
    struct {
        const TemplateCase& layout;
        DLGPROC procedure;
    } dialogs[] = {{kTemplates[0], settingsDialogProc}, {kTemplates[1], aboutDialogProc}};
    for (const auto& d : dialogs) {
        SCOPED_TRACE(d.layout.caption);
        HWND dialog =
            CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(d.layout.id), nullptr, d.procedure, 0);
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
            auto logo = reinterpret_cast<HBITMAP>(
                SendDlgItemMessageA(dialog, IDC_ABOUT_LOGO, STM_GETIMAGE, IMAGE_BITMAP, 0));
            BITMAP bitmap = {};
            ASSERT_NE(0, GetObjectA(logo, sizeof bitmap, &bitmap));
            EXPECT_EQ(203, bitmap.bmWidth);
            EXPECT_EQ(61, bitmap.bmHeight);
        }
        DestroyWindow(dialog);
    }
}

}  // namespace
