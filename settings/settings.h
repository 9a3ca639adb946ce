// The Settings record with its defaults and ranges, and the rules that decide
// whether a stored value is taken. No registry access here: the store in
// settings_store_win.cpp hands the raw results of its queries to these rules.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kInstallPathUnits = 260;
constexpr size_t kInstallPathBytes = kInstallPathUnits * sizeof(char16_t);  // 520

// Registry value types, with the numbers the registry gives them.
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

// The choices of backgroundType: what lies behind the balls.
constexpr int32_t kBackgroundDesktop = 0;
constexpr int32_t kBackgroundBlack = 1;
constexpr int32_t kBackgroundWhite = 2;

// The choices of ballScale: the ball size as a share of the base size.
constexpr int32_t kScale50 = 0;
constexpr int32_t kScale75 = 1;
constexpr int32_t kScale100 = 2;

struct Settings {
    wchar_t installPath[kInstallPathUnits];  // never ends in a backslash
    int32_t ballCount;                       // 5..30
    int32_t opacityPercent;                  // 50..100
    int32_t backgroundType;                  // kBackgroundDesktop, kBackgroundBlack or kBackgroundWhite
    int32_t ballScale;                       // kScale50, kScale75 or kScale100
};

// The one record of the process.
extern Settings settings;

// One display setting: its registry value, its field, default and inclusive range.
struct DisplaySetting {
    const wchar_t* valueName;
    int32_t Settings::*field;
    int32_t defaultValue;
    uint32_t minimum;
    uint32_t maximum;
};

constexpr int kDisplaySettingCount = 4;

// The four display settings in the order they are read and written.
extern const DisplaySetting displaySettings[kDisplaySettingCount];

// The row of displaySettings that holds field: its default and range, for the controls and
// clamps that must agree with what is stored.
const DisplaySetting& displaySettingFor(int32_t Settings::*field);

// Sets the four display settings to their defaults; installPath is untouched.
void resetToDefaults(Settings& record);

// True when a queried value may be taken into the setting's field: the query
// succeeded and returned 4 bytes of type REG_DWORD whose unsigned value lies
// within the setting's range.
bool isAcceptedValue(const DisplaySetting& setting, bool querySucceeded, uint32_t type, size_t byteCount,
                     uint32_t value);

// Turns the data of an "Install path" query (type, UTF-16 units, byte count as
// the registry reported it) into installPath. Only REG_SZ of at most 520 bytes
// is taken; data without a terminating NUL ends after its last whole unit, cut
// to 259 characters, and nothing past byteCount is read. One trailing backslash
// is removed. Returns false and leaves installPath unchanged when refused.
bool takeInstallPath(uint32_t type, const char16_t* data, size_t byteCount,
                     wchar_t (&installPath)[kInstallPathUnits]);
