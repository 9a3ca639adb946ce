// Counts of the program's own creations and deletions of GDI and GDI+ objects,
// kept only in a build with ZEPHYRINE_COUNT_OBJECTS defined (written at the end
// of the run to object-counts.txt beside the program); in every other build
// the calls are empty and cost nothing.
#pragma once

#include <windows.h>

enum class CountedObject { memoryDC, bitmap, graphics, imageAttributes, picture, thumbnail };

#ifdef ZEPHYRINE_COUNT_OBJECTS

#include <cstdio>
#include <cwchar>

constexpr int kCountedKinds = 6;

struct ObjectCount {
    long created;
    long deleted;
};

inline ObjectCount objectCounts[kCountedKinds];

// A null handle or pointer is no object and is not counted.
inline void countCreated(CountedObject kind, const void* object)
{
    if (object != nullptr) ++objectCounts[static_cast<int>(kind)].created;
}

// A GDI deletion counts only when the object is gone: DeleteDC or
// DeleteObject reported success and the handle names no object any more.
// Windows refuses to delete a bitmap that is still selected into a device
// context; Wine reports success but keeps the bitmap until the context goes.
// Either way the object is not freed and is not counted.
inline void countDeleted(CountedObject kind, HGDIOBJ object, BOOL succeeded)
{
    if (succeeded && GetObjectType(object) == 0) ++objectCounts[static_cast<int>(kind)].deleted;
}

// For the GDI+ objects, whose class destructors dispose of the native object
// without handing on its status: the disposal made is counted.
inline void countDeleted(CountedObject kind)
{
    ++objectCounts[static_cast<int>(kind)].deleted;
}

// One line per kind: its name, then created and deleted.
inline void writeObjectCounts()
{
    static const char* const names[kCountedKinds] = {"memoryDC",        "bitmap",  "graphics",
                                                     "imageAttributes", "picture", "thumbnail"};
    static const wchar_t countsName[] = L"object-counts.txt";
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    wchar_t* separator = std::wcsrchr(path, L'\\');
    if (separator == nullptr) return;
    const size_t folderLength = static_cast<size_t>(separator + 1 - path);
    if (folderLength + sizeof countsName / sizeof countsName[0] > MAX_PATH) return;
    lstrcpyW(separator + 1, countsName);
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    for (int kind = 0; kind < kCountedKinds; ++kind) {
        char line[80];
        int size = std::snprintf(line, sizeof line, "%s %ld %ld\n", names[kind], objectCounts[kind].created,
                                 objectCounts[kind].deleted);
        DWORD written = 0;
        WriteFile(file, line, static_cast<DWORD>(size), &written, nullptr);
    }
    CloseHandle(file);
}

#else

inline void countCreated(CountedObject, const void*) {}
inline void countDeleted(CountedObject, HGDIOBJ, BOOL) {}
inline void countDeleted(CountedObject) {}
inline void writeObjectCounts() {}

#endif
