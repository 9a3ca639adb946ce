// Screen-saver command line: splitting into tokens and choosing the run mode and host window handle.
#pragma once

#include <cstdint>

#include "app/text_string.h"

enum class RunMode { changePassword, configure, preview, fullScreenSaver };

struct ParsedCommandLine {
    RunMode mode;
    int32_t hostWindowHandle;
};

// Tokens joined by CR LF; every token after the first loses one leading "-" or "/".
TextString splitCommandLine(const TextString& commandLine);
// The first run of decimal digits in the token, 0 when there is none, at most 2147483647.
int32_t parseHandleNumber(const char* token);
// Never fails: any command line, the empty one included, yields a run mode.
ParsedCommandLine readRunMode(const TextString& commandLine);
