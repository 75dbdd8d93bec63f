// Animated GIF files of rendered pictures. Each frame gets a palette of its
// own, chosen from its pixels (the white ground, the black and grey lines
// and the paper's shading), and a colour between palette colours is mixed
// from two of them by an ordered dither, so that the paper's gradients stay
// smooth instead of banded. What did not change since the previous frame
// is left transparent and outside the frame's rectangle, so that a fold
// animation stays small.
#pragma once

// Most frames one file takes: more is a request of minutes of animation
// that no GIF viewer plays well, refused rather than written.
constexpr long kOriGifMaxFrames = 10000;
// Largest side of a frame, pixels.
constexpr int kOriGifMaxSide = 8192;
// Frame rates a GIF can hold: it counts delays in hundredths of a second,
// and players slow down anything faster than 50 frames a second.
constexpr int kOriGifMaxFps = 50;

struct ORI_gif_writer;

// Starts the animated GIF path of w × h frames (1 to kOriGifMaxSide each),
// each shown for 1/fps seconds (fps 1 to kOriGifMaxFps), looping forever.
// The file is written aside: path appears, complete, only when oriGifEnd
// succeeds. Returns null with errno set: EINVAL for a size or rate out of
// range, else what creating the file in path's directory gave.
// cost: about 4 frames of w × h × 3 bytes.
ORI_gif_writer* oriGifBegin(const char* path, int w, int h, int fps);

// Adds a frame: rgb holds w × h pixels, top row first, red-green-blue.
// Returns 0, or -1 with errno set: EFBIG past kOriGifMaxFrames frames, EIO
// when writing failed. cost: O(w × h × log colours), and two searches of
// the palette for each distinct colour of the frame.
int oriGifAddFrame(ORI_gif_writer* gw, const unsigned char* rgb);

// Finishes the file, renames it onto path and frees gw. Returns 0, or -1
// with errno set (EINVAL when no frame was added) after removing the
// temporary file: nothing is left under path or beside it.
int oriGifEnd(ORI_gif_writer* gw);

// Abandons the file (the temporary file is removed) and frees gw; null is
// ignored.
void oriGifAbort(ORI_gif_writer* gw);
