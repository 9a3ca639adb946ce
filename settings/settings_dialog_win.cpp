// The "Settings" dialog: shows the Settings record in its controls and, on OK,
// puts the controls' values into the record and saves it.
#include "settings/settings_dialog_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include "app/startup_state_win.h"
#include "res/resource.h"
#include "settings/about_box_win.h"
#include "settings/settings_store_win.h"

namespace {

const char kHomePageAddress[] = "https://quorvane.example/zephyrine";

// The trackbar's range is the setting's stored range.
void setUpTrackbar(HWND dialog, int id, int32_t Settings::*field, int step)
{
    const DisplaySetting& setting = displaySettingFor(field);
    SendDlgItemMessageA(dialog, id, TBM_SETRANGE, FALSE, MAKELONG(setting.minimum, setting.maximum));
    SendDlgItemMessageA(dialog, id, TBM_SETLINESIZE, 0, step);
    SendDlgItemMessageA(dialog, id, TBM_SETTICFREQ, step, 0);
}

int32_t trackbarPosition(HWND dialog, int id)
{
    return static_cast<int32_t>(SendDlgItemMessageA(dialog, id, TBM_GETPOS, 0, 0));
}

int32_t checkedCount(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED ? 1 : 0;
}

// The index of the checked button in a group of three consecutive ids.
int32_t checkedIndex(HWND dialog, int firstId)
{
    return 2 * checkedCount(dialog, firstId + 2) + checkedCount(dialog, firstId + 1);
}

INT_PTR onInitDialog(HWND dialog)
{
    setUpTrackbar(dialog, IDC_OPACITY, &Settings::opacityPercent, 10);
    setUpTrackbar(dialog, IDC_BALL_COUNT, &Settings::ballCount, 5);
    fillSettingsControls(dialog, settings);
    return TRUE;
}

void onOk(HWND dialog)
{
    settings.opacityPercent = trackbarPosition(dialog, IDC_OPACITY);
    settings.ballCount = trackbarPosition(dialog, IDC_BALL_COUNT);
    settings.backgroundType = checkedIndex(dialog, IDC_BACKGROUND_DESKTOP);
    settings.ballScale = checkedIndex(dialog, IDC_SCALE_50);
    saveSettings(settings);
    EndDialog(dialog, IDOK);
}

void onSetToDefault(HWND dialog)
{
    Settings defaults = settings;
    resetToDefaults(defaults);
    fillSettingsControls(dialog, defaults);
}

void onHomePage()
{
    ShellExecuteA(nullptr, "open", kHomePageAddress, nullptr, nullptr, SW_SHOWNORMAL);
}

void onAbout(HWND dialog)
{
    DialogBoxParamA(startupState.instance, MAKEINTRESOURCEA(IDD_ABOUT), dialog, aboutDialogProc, 0);
}

INT_PTR onCommand(HWND dialog, WORD id)
{
    switch (id) {
    case IDOK: onOk(dialog); break;
    case IDCANCEL: EndDialog(dialog, IDCANCEL); break;
    case IDC_SET_TO_DEFAULT: onSetToDefault(dialog); break;
    case IDC_HOME_PAGE: onHomePage(); break;
    case IDC_ABOUT: onAbout(dialog); break;
    }
    return FALSE;
}

}  // namespace

void registerDialogClasses()
{
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_BAR_CLASSES};
    InitCommonControlsEx(&classes);
}

void fillSettingsControls(HWND dialog, const Settings& shown)
{
    CheckRadioButton(dialog, IDC_BACKGROUND_DESKTOP, IDC_BACKGROUND_WHITE,
                     IDC_BACKGROUND_DESKTOP + shown.backgroundType);
    CheckRadioButton(dialog, IDC_SCALE_50, IDC_SCALE_100, IDC_SCALE_50 + shown.ballScale);
    SendDlgItemMessageA(dialog, IDC_OPACITY, TBM_SETPOS, TRUE, shown.opacityPercent);
    SendDlgItemMessageA(dialog, IDC_BALL_COUNT, TBM_SETPOS, TRUE, shown.ballCount);
}

INT_PTR CALLBACK settingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: return onInitDialog(dialog);
    case WM_COMMAND: return onCommand(dialog, LOWORD(wParam));
    }
    return FALSE;
}
