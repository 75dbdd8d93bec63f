// Writing a line list as crease-pattern XML, the format the XML reader
// reads (the pattern generator's output).
#pragma once

#include <cstdio>

struct CreasePattern;

// Writes every line of cp (up to the first node without a line) to fp with
// its type and end points ("%f") in the order type, x0, x1, y0, y1, then its
// target ("%.17g") when the drawing gave one, and the paper size; flushes fp
// (not closed). Returns 0, or -1 when a write failed.
int LineToOpx(CreasePattern* cp, FILE* fp);
