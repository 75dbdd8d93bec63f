// Reading back what was drawn, for the window's captures and the off-screen
// pictures alike. Thread of the current context only.
#pragma once

// Size of the current viewport, pixels.
void oriGLViewportSize(int* w, int* h);

// Reads the w × h pixels at the lower left corner of the buffer being drawn
// into (the back buffer of a double-buffered window, before its swap, since
// the front buffer is not readable on every platform; the only buffer of an
// off-screen context) into out: bottom row first, 3 bytes a pixel in
// blue-green-red order when bgr is set, else red-green-blue, each row padded
// to a multiple of row_align bytes (1 or 4). out holds h such rows. Waits
// for the drawing to finish. cost: w × h × 3 bytes copied.
void oriGLReadPixels(int w, int h, bool bgr, int row_align, unsigned char* out);
