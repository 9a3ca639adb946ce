// The program's entry: start-up, the run mode from the command line, and the
// exit code.
#include <windows.h>

#include "app/command_line.h"
#include "app/startup_state_win.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    startupState.instance = instance;
    loadDisplayStrings(instance);
    ParsedCommandLine parsed = readRunMode(TextString(GetCommandLineA()));
    startupState.hostWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(parsed.hostWindowHandle));
    return 0;
}
