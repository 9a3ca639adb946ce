// The process-wide start-up state that start-up fills and the rest reads.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr int kDisplayStringSize = 100;

struct StartupState {
    HINSTANCE instance;
    char displayName[kDisplayStringSize];      // string 120, captions and title
    char windowClassName[kDisplayStringSize];  // string 122
    char versionText[kDisplayStringSize];      // string 121
    char copyrightLine[kDisplayStringSize];    // string 107
    HWND hostWindow;                           // 0 when the command line gave none
    int32_t saverMode;                         // 1 full-screen saver, 0 otherwise
    ULONG_PTR gdiplusToken;
};

extern StartupState startupState;

// Loads strings 107, 120, 122 and 121, each cut to 99 characters.
void loadDisplayStrings(HINSTANCE instance);
