// The modal "Settings" dialog of the configure run mode.
#pragma once

#include <windows.h>

#include "settings/settings.h"

INT_PTR CALLBACK settingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Shows the record's four display settings in the dialog's controls.
void fillSettingsControls(HWND dialog, const Settings& shown);

// Registers the common-controls trackbar class that dialog 149 uses; call it
// once before the dialog is created.
void registerDialogClasses();
