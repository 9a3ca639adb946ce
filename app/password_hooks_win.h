// The legacy screen-saver password hooks: close verification and the
// change-password run mode.
#pragma once

#include <windows.h>

#include <cstdint>

// 1 while a verification is in progress; close requests are ignored then.
extern int32_t passwordDialogActive;

// Nonzero when the saver may close.
int32_t verifyBeforeClose();

// The change-password run mode; returns the exit code, 0 or 1.
int runChangePassword(HWND hostWindow);
