// Stand-in for the system's MPR.DLL: logs each change-password call with its
// arguments.
#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "app/password_test_log_win.h"

extern "C" __declspec(dllexport) DWORD WINAPI
    PwdChangePasswordA(LPCSTR provider, HWND owner, DWORD reserved1, DWORD reserved2)
{
    char line[200];
    snprintf(line, sizeof line, "PwdChangePasswordA %.100s %llu %lu %lu", provider ? provider : "(null)",
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(owner)),
             static_cast<unsigned long>(reserved1), static_cast<unsigned long>(reserved2));
    appendLogLine(line);
    return static_cast<DWORD>(resultFromEnvironment());
}
