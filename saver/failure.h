// A run that cannot go on, as a value: the line to show and the exit code. Modules return it;
// only main prints it.
#pragma once

#include <string>

#include "saver/ball_pictures.h"

struct Failure {
    int exitCode = 0;     // 0: no failure
    std::string message;  // the whole line, as shown on standard error
};

inline Failure noMemoryFailure()
{
    return {kNoMemoryExit, kNoMemoryMessage};
}
inline Failure imagesNotFoundFailure()
{
    return {kImagesNotFoundExit, kImagesNotFoundMessage};
}
