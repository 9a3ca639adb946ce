// Checks shared by the frame composition tests: colours, a frame's expected
// squares, and GDI+ running for the whole test program.
#pragma once

#include <windows.h>

#include <vector>

#include "support/win_test_support.h"

// Per channel, right and wrong blends differ by far more than this.
constexpr int kBlendTolerance = 2;

struct Rgb {
    int r;
    int g;
    int b;
};

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kSnapshot{40, 120, 200};

// A pixel of a read-back frame as channels.
Rgb rgbAt(const Pixels& frame, int x, int y);

// The largest difference of a channel, in levels.
int channelError(const Rgb& actual, const Rgb& expected);

void fillDC(HDC dc, int width, int height, const Rgb& colour);

struct Square {
    int x;
    int y;
    int size;
    Rgb colour;

    bool holds(int px, int py) const { return px >= x && px < x + size && py >= y && py < y + size; }
};

// Checks every pixel: the colour of the last square that holds it, else the
// background.
void expectFrame(const Pixels& frame, const Rgb& background, const std::vector<Square>& squares);
