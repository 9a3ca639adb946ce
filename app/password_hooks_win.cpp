// The legacy screen-saver password hooks: close verification through the
// system's password prompt and the change-password run mode.
#include "app/password_hooks_win.h"

#include "app/startup_state_win.h"

int32_t passwordDialogActive = 0;

namespace {

typedef BOOL(WINAPI* VerifyScreenSavePwdProc)(HWND window);
typedef DWORD(WINAPI* PwdChangePasswordProc)(LPCSTR provider, HWND owner, DWORD reserved1, DWORD reserved2);

void showError(const char* text)
{
    MessageBoxA(nullptr, text, startupState.displayName, MB_ICONERROR | MB_OK);
}

// Only the Windows 95/98/ME family has the password services; a failed query
// counts as another platform.
bool isLegacyPlatform()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) return false;
    return version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

// The system's prompt, when the user's desktop settings ask for a password
// and the library provides one; the library stays loaded.
VerifyScreenSavePwdProc findPasswordPrompt()
{
    HKEY key;
    if (RegOpenKeyA(HKEY_CURRENT_USER, "Control Panel\\Desktop", &key) != ERROR_SUCCESS) return nullptr;
    VerifyScreenSavePwdProc prompt = nullptr;
    DWORD usePassword = 0;
    DWORD size = sizeof usePassword;
    if (RegQueryValueExA(key, "ScreenSaveUsePassword", nullptr, nullptr, reinterpret_cast<BYTE*>(&usePassword),
                         &size) == ERROR_SUCCESS &&
        usePassword != 0) {
        HMODULE library = LoadLibraryA("PASSWORD.CPL");
        if (library)
            prompt = reinterpret_cast<VerifyScreenSavePwdProc>(
                reinterpret_cast<void*>(GetProcAddress(library, "VerifyScreenSavePwd")));
    }
    RegCloseKey(key);
    return prompt;
}

}  // namespace

int32_t verifyBeforeClose()
{
    if (startupState.saverMode != 1) return 1;
    if (!isLegacyPlatform()) return 1;
    passwordDialogActive = 1;
    int32_t result = 1;
    VerifyScreenSavePwdProc prompt = findPasswordPrompt();
    if (prompt) result = prompt(startupState.hostWindow);
    passwordDialogActive = 0;
    return result;
}

int runChangePassword(HWND hostWindow)
{
    HMODULE library = LoadLibraryA("MPR.DLL");
    if (!library) {
        showError("File MPR.DLL not found! (This file needed for change password.)");
        return 1;
    }
    auto changePassword = reinterpret_cast<PwdChangePasswordProc>(
        reinterpret_cast<void*>(GetProcAddress(library, "PwdChangePasswordA")));
    if (!changePassword) {
        FreeLibrary(library);
        showError("Function PwdChangePasswordA in file MPR.DLL not fount! "
                  "(This function needed for change password.)");
        return 1;
    }
    changePassword("SCRSAVE", hostWindow, 0, 0);
    FreeLibrary(library);
    return 0;
}
