// Captures of the drawing written as 24-bit BMP files.
#pragma once

#include <cstdint>

// Writes the w × h picture bits (bottom row first, blue-green-red, each row
// padded to oriBmpRowBytes(w, 24) bytes) to filename with SaveDIBitmap, at
// 10000 pixels per metre. Returns 0, or -1 for a size that is not positive
// or does not fit a BMP header, and for SaveDIBitmap's failures (which
// leave nothing new on disk).
int oriCaptureSaveBMP(const char* filename, int32_t w, int32_t h, const unsigned char* bits);
