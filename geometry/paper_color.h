// The paper colours of the two sides of the sheet, and the paper colour file
// ("./papercolor.txt" in the programs that draw the paper) they may come
// from. The core never reads that file on its own: a new mesh has the
// built-in colours, and the programs that show the paper (the window, and
// plicata-fold's pictures) read the file and hand the colours in, through
// the sheet's load options (sheet/sheet.h) or oriManifoldSetPaperColors.
//
// File format: lines of at most 1023 characters; "#" starts a comment line;
// blank lines are skipped; the first data line sets the back side, the second
// the front side; each data line holds 12 numbers K1 rgb, K2 rgb, K3 rgb,
// K4 rgb. The drawing gives each channel (K1·s + K2)·v + K3·s + K4.
#pragma once

#include <cstdio>

struct ORI_manifold;

// The built-in colours, used for both sides until a file overrides them.
extern const double kOriDefaultPaperColor[12];

// The name the programs that draw the paper read it from, in the directory
// they run in.
constexpr const char* kOriPaperColorFile = "./papercolor.txt";

// The colours of both sides (ORI_manifold's color_a and color_b).
struct ORI_paperColors {
  double front[12];  // color_a
  double back[12];   // color_b
};

// Sets both sides of *colors to the built-in values, then reads fp (may be
// null). A data line with fewer than 12 numbers leaves the missing ones at
// the built-in values; a line longer than 1023 characters is reported
// (oriMessage) and skipped. Returns -1 when fp is null, else 0. Does not
// close fp.
int oriPaperColorsRead(ORI_paperColors* colors, FILE* fp);

// Reads the file path as above (the built-in colours when it cannot be
// opened, which is no failure: the file is optional). Returns 0 when the
// file was read, -1 when it could not be opened.
int oriPaperColorsLoad(ORI_paperColors* colors, const char* path);

// Gives om the colours (null: the built-in ones).
void oriManifoldSetPaperColors(ORI_manifold* om, const ORI_paperColors* colors);

// oriPaperColorsRead into om's colour sets. Returns as oriPaperColorsRead.
int oriManifoldReadColor(ORI_manifold* om, FILE* fp);
