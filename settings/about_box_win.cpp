// The "About" box: the program's name and version, the credit and the
// copyright line under the maker's logo.
#include "settings/about_box_win.h"

#include <cstdio>

#include "app/startup_state_win.h"
#include "res/resource.h"

namespace {

constexpr int kAboutTextSize = 512;

INT_PTR onInitDialog(HWND dialog)
{
    char title[kAboutTextSize];
    std::snprintf(title, sizeof title, "%s version %s", startupState.displayName, startupState.versionText);
    SetDlgItemTextA(dialog, IDC_ABOUT_TITLE, title);

    char credit[kAboutTextSize];
    if (LoadStringA(startupState.instance, IDS_CREDIT, credit, kAboutTextSize) <= 0) credit[0] = 0;
    SetDlgItemTextA(dialog, IDC_ABOUT_CREDIT, credit);

    SetDlgItemTextA(dialog, IDC_ABOUT_COPYRIGHT, startupState.copyrightLine);
    return TRUE;
}

INT_PTR onCommand(HWND dialog, WORD id)
{
    if (id != IDOK && id != IDCANCEL) return FALSE;
    EndDialog(dialog, id);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: return onInitDialog(dialog);
    case WM_COMMAND: return onCommand(dialog, LOWORD(wParam));
    }
    return FALSE;
}
