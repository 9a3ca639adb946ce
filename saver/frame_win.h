// The two drawing surfaces and the composition of each frame off screen.
#pragma once

#include <windows.h>
#include <gdiplus.h>

#include <cstdint>

#include "saver/ball_field.h"

extern HDC backgroundDC;
extern HBITMAP backgroundBitmap;
extern HDC backBufferDC;
extern HBITMAP backBufferBitmap;

void createSurfaces(HWND window, const ClientRect& client);
void captureBackground(const ClientRect& client);
void composeFrame(const ClientRect& client);
// Deletes the surfaces once; later calls find nothing to delete.
void releaseSurfaces();

// The identity colour matrix with the alpha factor opacityPercent / 100.
void fillColorMatrix(Gdiplus::ColorMatrix& matrix, int32_t opacityPercent);
