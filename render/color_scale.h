// The colour scales of the diagnosis marks, apart from OpenGL: where a
// closure error falls on the closure map's logarithmic scale, the colour of
// a place on that scale, the ramp of a fold line's distance from its target,
// and the warning colour of faces that pass through each other.
//
// The closure scale is viridis-like: its lightness grows steadily from dark
// purple through blue and green to yellow, so that a larger error always
// reads as lighter, in grey print and to colour-blind eyes alike.
#pragma once

// The closure map's range, radians of a vertex's closure error (the angle by
// which the corner rotations round it fail to return to the identity). At or
// below the floor a vertex closes as well as rounding and the first-order
// step allow one to see; at the ceiling a corner a paper's size away misses
// by a tenth of the paper: torn.
constexpr double kOriClosureFloor = 1e-6;
constexpr double kOriClosureCeiling = 1e-1;

// Where error falls on the closure scale: 0 at or below the floor, 1 at or
// above the ceiling, log10-linear between (each decade a fifth). An error
// that is not a number counts as 1: a vertex whose closure cannot be told
// is shown as failing, never as closed.
double oriGLClosureScale(double error);

// The strain map's range: a bar's relative change of length (folded
// length over flat length, less one), on the same logarithmic scale and in
// the same colours as the closure map. At the floor the paper has not
// stretched to any visible degree; at the ceiling it is stretched by a
// tenth, far beyond what paper takes.
constexpr double kOriStrainFloor = 1e-6;
constexpr double kOriStrainCeiling = 1e-1;

// Where |strain| falls on the strain scale: 0 at or below the floor, 1 at
// or above the ceiling, log10-linear between; not a number counts as 1.
double oriGLStrainScale(double strain);

// The colour at t on the closure scale (t clamped to [0, 1]), each channel in
// [0, 1], linearly between the scale's nine anchor colours.
void oriGLScaleColor(double t, float rgb[3]);

// The colour of a fold line that still has share (of its target) to go,
// clamped to [0, 1]: from a pale sand at 0 (at its target) to a dark brown at
// 1 (a whole target away), a ramp of one hue that stays apart from the
// closure scale's purple, blue and green.
void oriGLToGoColor(double share, float rgb[3]);

// Fold lines in the "Colour" view: mountains (negative targets) vermilion,
// valleys (positive targets) blue, the red and blue of crease-pattern
// editors taken from the Okabe-Ito palette, which stays two colours to every
// common colour blindness; the lines keep their dashes or widths as well.
constexpr float kOriMountainColor[3] = {0.835f, 0.369f, 0.0f};  // #D55E00
constexpr float kOriValleyColor[3] = {0.0f, 0.447f, 0.698f};    // #0072B2

// Faces passing through each other: red, drawn as a hatch over the face so
// that the pattern, not only the hue, gives the warning.
constexpr float kOriCollisionColor[3] = {0.9f, 0.05f, 0.05f};
