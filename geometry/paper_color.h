// The paper colour file "./papercolor.txt": the colours of the paper's two
// sides.
//
// Format: lines of at most 1023 characters; "#" starts a comment line; blank
// lines are skipped; the first data line sets color_b (back side), the second
// color_a (front side); each data line holds 12 numbers K1 rgb, K2 rgb,
// K3 rgb, K4 rgb. The drawing gives each channel (K1·s + K2)·v + K3·s + K4.
#pragma once

#include <cstdio>

struct ORI_manifold;

// The built-in colours, used for both sides until the file overrides them.
extern const double kOriDefaultPaperColor[12];

// Sets both colour sets to the built-in values, then reads fp (may be null).
// A data line with fewer than 12 numbers leaves the missing ones at the
// built-in values; a line longer than 1023 characters is reported and
// skipped. Returns -1 when fp is null, else 0. Does not close fp.
int oriManifoldReadColor(ORI_manifold* om, FILE* fp);
