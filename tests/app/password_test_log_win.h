// Shared by the password test libraries and their probe: each call is one line
// appended to the file that ZEPHYRINE_PASSWORD_LOG names, and the libraries
// answer with the number that ZEPHYRINE_PASSWORD_RESULT holds (default 1).
#pragma once

#include <windows.h>

#include <cstdlib>
#include <cstring>

inline void appendLogLine(const char* line)
{
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("ZEPHYRINE_PASSWORD_LOG", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
    WriteFile(file, "\n", 1, &written, nullptr);
    CloseHandle(file);
}

inline int resultFromEnvironment()
{
    char text[32];
    DWORD length = GetEnvironmentVariableA("ZEPHYRINE_PASSWORD_RESULT", text, sizeof text);
    if (length == 0 || length >= sizeof text) return 1;
    return atoi(text);
}
