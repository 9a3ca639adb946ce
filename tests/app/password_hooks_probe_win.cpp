// Runs one password hook with the libraries beside it and logs what it sees;
// the exit code is the hook's result.
//   password_hooks_probe verify SAVERMODE HOSTWINDOW [empty-user]
//   password_hooks_probe change HOSTWINDOW
// "empty-user" points HKEY_CURRENT_USER at a fresh empty key for the call.
#include <windows.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/password_hooks_win.h"
#include "app/password_test_log_win.h"
#include "app/startup_state_win.h"

// Lets the test PASSWORD.CPL read the flag while its prompt runs.
extern "C" __declspec(dllexport) int32_t probeDialogActive()
{
    return passwordDialogActive;
}

namespace {

const char kEmptyUserKey[] = "Software\\ZephyrinePasswordProbe";

void logLine(const char* format, ...)
{
    char line[200];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    appendLogLine(line);
}

unsigned long platformId()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) ? version.dwPlatformId : 0;
}

HWND handleFrom(const char* text)
{
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(strtoull(text, nullptr, 10)));
}

int verify(int32_t saverMode, HWND host, bool emptyUser)
{
    startupState.saverMode = saverMode;
    startupState.hostWindow = host;
    HKEY emptyRoot = nullptr;
    if (emptyUser) {
        if (RegCreateKeyA(HKEY_CURRENT_USER, kEmptyUserKey, &emptyRoot) != ERROR_SUCCESS ||
            RegOverridePredefKey(HKEY_CURRENT_USER, emptyRoot) != ERROR_SUCCESS)
            return 100;
    }
    int32_t result = verifyBeforeClose();
    if (emptyUser) {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegCloseKey(emptyRoot);
        RegDeleteKeyA(HKEY_CURRENT_USER, kEmptyUserKey);
    }
    logLine("verify %d %d %d", result, passwordDialogActive, GetModuleHandleA("PASSWORD.CPL") != nullptr);
    return result;
}

int change(HWND host)
{
    bool loadedBefore = GetModuleHandleA("MPR.DLL") != nullptr;
    int code = runChangePassword(host);
    logLine("change %d %d %d", code, loadedBefore, GetModuleHandleA("MPR.DLL") != nullptr);
    return code;
}

}  // namespace

int main(int argc, char** argv)
{
    strcpy(startupState.displayName, "Password probe");
    logLine("platform %lu", platformId());
    if (argc >= 4 && strcmp(argv[1], "verify") == 0)
        return verify(atoi(argv[2]), handleFrom(argv[3]), argc >= 5 && strcmp(argv[4], "empty-user") == 0);
    if (argc >= 3 && strcmp(argv[1], "change") == 0) return change(handleFrom(argv[2]));
    return 100;
}
