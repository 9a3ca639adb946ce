// Defaults, ranges and acceptance rules of the Settings record.
#include "settings/settings.h"

Settings settings;

const DisplaySetting displaySettings[kDisplaySettingCount] = {
    {L"Background", &Settings::backgroundType, kBackgroundDesktop, kBackgroundDesktop, kBackgroundWhite},
    {L"Number of balls", &Settings::ballCount, 7, 5, 30},
    {L"Opaque", &Settings::opacityPercent, 75, 50, 100},
    {L"Scale of balls", &Settings::ballScale, kScale100, kScale50, kScale100},
};

const DisplaySetting& displaySettingFor(int32_t Settings::*field)
{
    for (const DisplaySetting& setting : displaySettings)
        if (setting.field == field) return setting;
    // Every int32_t field of Settings is a display setting, so this is not reached.
    return displaySettings[0];
}

void resetToDefaults(Settings& record)
{
    for (const DisplaySetting& setting : displaySettings) record.*setting.field = setting.defaultValue;
}

bool isAcceptedValue(const DisplaySetting& setting, bool querySucceeded, uint32_t type, size_t byteCount,
                     uint32_t value)
{
    return querySucceeded && type == kRegDword && byteCount == sizeof(uint32_t) && value >= setting.minimum &&
           value <= setting.maximum;
}

bool takeInstallPath(uint32_t type, const char16_t* data, size_t byteCount,
                     wchar_t (&installPath)[kInstallPathUnits])
{
    if (type != kRegSz || byteCount > kInstallPathBytes) return false;

    // A half unit at the end is not a character; a full buffer leaves no room
    // for the terminator, so its last unit is dropped.
    size_t storedUnits = byteCount / sizeof(char16_t);
    size_t length = 0;
    while (length < storedUnits && length < kInstallPathUnits - 1 && data[length] != 0) ++length;
    if (length > 0 && data[length - 1] == u'\\') --length;

    for (size_t i = 0; i < length; ++i) installPath[i] = static_cast<wchar_t>(data[i]);
    installPath[length] = 0;
    return true;
}
