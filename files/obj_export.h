// Wavefront OBJ export of the folded shape.
#pragma once

#include <cstdio>

struct ORI_manifold;

// Writes om to fp (opened by the caller, not closed): vertices through
// model_matrix scaled by paper_size, texture vertices from the flat pattern
// (+0.5), every face in both windings, and one "#e tail head kind degrees"
// comment per line of the sheet (kind 1 outline, 0 flat or diagonal, 2 a
// mountain (negative target), 3 a valley, as the pattern's line types; degrees the present fold angle, unsigned, truncated).
// Sets each vertex's obj_index; leaves every half-edge's visited mark clear.
// Returns 0, or -1 when fp is null or a write failed.
int oriManifoldSaveObj(ORI_manifold* om, FILE* fp);
