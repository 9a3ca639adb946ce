// Stand-in for the system's PASSWORD.CPL: logs each prompt with the window it
// was given and the probe's password-dialog flag at that moment.
#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "app/password_test_log_win.h"

extern "C" __declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND window)
{
    typedef int32_t (*FlagProc)();
    auto flag = reinterpret_cast<FlagProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(nullptr), "probeDialogActive")));
    char line[100];
    snprintf(line, sizeof line, "VerifyScreenSavePwd %llu %d",
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)), flag ? flag() : -1);
    appendLogLine(line);
    return resultFromEnvironment();
}
