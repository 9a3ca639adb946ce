// Reads and writes the Settings record in the registry.
#include "settings/settings_store_win.h"

static_assert(kRegSz == REG_SZ && kRegExpandSz == REG_EXPAND_SZ && kRegBinary == REG_BINARY &&
                  kRegDword == REG_DWORD,
              "the platform-free type numbers are the registry's");

RegistryCalls registryCalls = {RegOpenKeyExW, RegQueryValueExW, RegCreateKeyExW, RegSetValueExW, RegCloseKey};

const wchar_t kSettingsKeyPath[] = L"Software\\Quorvane\\Zephyrine";

bool lookUpInstallPath(Settings& record)
{
    // Read access only: asking for more fails for users who are not elevated.
    HKEY key;
    if (registryCalls.openKey(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;

    char16_t data[kInstallPathUnits];
    DWORD type = 0;
    DWORD byteCount = sizeof data;
    LSTATUS status =
        registryCalls.queryValue(key, L"Install path", nullptr, &type, reinterpret_cast<BYTE*>(data), &byteCount);
    registryCalls.closeKey(key);

    if (status != ERROR_SUCCESS) return false;
    return takeInstallPath(type, data, byteCount, record.installPath);
}

void loadSettings(Settings& record)
{
    resetToDefaults(record);

    HKEY key;
    if (registryCalls.openKey(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;

    for (const DisplaySetting& setting : displaySettings) {
        DWORD value = 0;
        DWORD type = 0;
        DWORD byteCount = sizeof value;
        LSTATUS status = registryCalls.queryValue(key, setting.valueName, nullptr, &type,
                                                  reinterpret_cast<BYTE*>(&value), &byteCount);
        if (isAcceptedValue(setting, status == ERROR_SUCCESS, type, byteCount, value))
            record.*setting.field = static_cast<int32_t>(value);
    }
    registryCalls.closeKey(key);
}

void saveSettings(const Settings& record)
{
    HKEY key;
    if (registryCalls.createKey(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;

    for (const DisplaySetting& setting : displaySettings) {
        DWORD value = static_cast<DWORD>(record.*setting.field);
        registryCalls.setValue(key, setting.valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                               sizeof value);
    }
    registryCalls.closeKey(key);
}
