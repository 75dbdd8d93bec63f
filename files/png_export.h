// Pictures written as PNG files.
#pragma once

// Largest side of a picture, pixels.
constexpr int kOriPngMaxSide = 8192;

// Writes the w × h picture rgb (top row first, red-green-blue, 3 bytes a
// pixel) as an 8-bit RGB PNG file at path, aside and renamed, so that path
// holds the old file or the whole new one. Returns 0, or -1 with errno set:
// EINVAL for a size out of range (1 to kOriPngMaxSide), ENOMEM when the
// image cannot be compressed in memory, else what writing in path's
// directory gave. cost: w × h × 3 bytes compressed.
int oriSavePNG(const char* path, int w, int h, const unsigned char* rgb);
