// The registry store of the Settings record: the install-directory lookup in
// the machine key and the display settings in the per-user key.
#pragma once

#include <windows.h>

#include "settings/settings.h"

// The five registry calls the store makes. They default to the system's own;
// tests replace them to watch the arguments or to simulate refused access.
struct RegistryCalls {
    decltype(&RegOpenKeyExW) openKey;
    decltype(&RegQueryValueExW) queryValue;
    decltype(&RegCreateKeyExW) createKey;
    decltype(&RegSetValueExW) setValue;
    decltype(&RegCloseKey) closeKey;
};

extern RegistryCalls registryCalls;

// Path of both keys, below HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE.
extern const wchar_t kSettingsKeyPath[];

// Reads "Install path" from the machine key into record.installPath. False,
// with installPath unchanged, when the key or a usable value is missing.
bool lookUpInstallPath(Settings& record);

// Sets the defaults, then takes each stored display setting that is acceptable.
void loadSettings(Settings& record);

// Writes the four display settings to the user key, creating it when missing.
void saveSettings(const Settings& record);
