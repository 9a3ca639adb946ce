// What the Windows program and the Linux front ends share about the ball pictures: how many there
// are, the largest side read, and the message and exit code of each failed load.
#pragma once

constexpr int kPictureCount = 8;

// No picture wider or taller than this is decoded; a larger one counts as not found.
constexpr int kMaxPictureSide = 8192;

inline constexpr char kNoMemoryMessage[] = "Not enough memory!";
inline constexpr char kImagesNotFoundMessage[] = "Images not found, please reinstall the screen saver!";

constexpr int kNoMemoryExit = 2;
constexpr int kImagesNotFoundExit = 3;
