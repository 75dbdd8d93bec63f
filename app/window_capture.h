// Capturing the drawing sub-window into a 24-bit BMP file.
#pragma once

// Draws the present picture of the drawing sub-window (the.sub_window) into
// its back buffer, reads it there before the buffer swap (the front buffer
// is not readable on every platform), swaps, and writes the viewport's
// pixels to filename (files/screen_capture.h): bottom row first,
// blue-green-red, rows padded to 4 bytes. Restores the window that was
// current. Silent: a failed allocation or write leaves no new file, and
// the caller learns why from the result. Window-system thread only. Cost: one
// frame plus width × height × 3 bytes. Returns 0, or -1 with errno set:
// ENOMEM (no room for the picture), EINVAL (no viewport), or the system's
// reason the file could not be written (ENOSPC for a full disk).
int ScreenSaveBMP(const char* filename);
