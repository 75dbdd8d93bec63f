// A spatial index over a construction vertex table: finds the vertex that
// oriAddVert's scan of the table would find, without scanning.
#pragma once

#include "geometry/manifold.h"

struct ORI_vert_lookup;

// An empty index for a table whose matches are tested with threshold.
ORI_vert_lookup* oriVertLookupNew(double threshold);
void oriVertLookupDelete(ORI_vert_lookup* lookup);

// Like oriAddVert(vertlist, x, y, z, threshold) on a table whose used slots
// are exactly those the index has handed out, in order: returns the earliest
// used slot strictly inside the box of half-width threshold around the point,
// else the next free slot with pos set, which the index then counts as used
// (the caller enters a half-edge or marks it). The table must hold a free slot
// after the used ones. Expected O(1) per call on patterns whose vertices are
// spread out; the result is always the scan's.
ORI_vert* oriAddVertIndexed(ORI_vert* vertlist, ORI_vert_lookup* lookup, double x, double y, double z);

// Number of slots handed out.
int oriVertLookupCount(const ORI_vert_lookup* lookup);
