// The start-up state and the loading of its display strings.
#include "app/startup_state_win.h"

#include "res/resource.h"

StartupState startupState;

void loadDisplayStrings(HINSTANCE instance)
{
    LoadStringA(instance, IDS_COPYRIGHT, startupState.copyrightLine, kDisplayStringSize);
    LoadStringA(instance, IDS_DISPLAY_NAME, startupState.displayName, kDisplayStringSize);
    LoadStringA(instance, IDS_WINDOW_CLASS, startupState.windowClassName, kDisplayStringSize);
    LoadStringA(instance, IDS_VERSION, startupState.versionText, kDisplayStringSize);
}
