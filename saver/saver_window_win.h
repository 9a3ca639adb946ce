// The saver window: full-screen popup or preview child, its timer, painting
// and the input that ends the run.
#pragma once

#include <windows.h>

ATOM registerSaverClass(HINSTANCE instance);

// 1 when the window exists, is shown and has painted; 0 when it could not be
// created.
int createSaverWindow(HINSTANCE instance, int showCommand);

LRESULT CALLBACK saverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
