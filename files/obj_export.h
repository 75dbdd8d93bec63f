// Wavefront OBJ export of the folded shape.
#pragma once

#include <cstdio>

struct ORI_manifold;
struct ORI_vert;

// The folded position of v as OBJ files give it: v->pos through
// om->model_matrix, times paper_size (file units). The FOLD frames and the
// Python package take their positions from here too, so that every output
// agrees to the last bit.
void oriManifoldObjPosition(const ORI_manifold* om, const ORI_vert* v, double xyz[3]);

// Writes om to fp (opened by the caller, not closed): vertices through
// model_matrix scaled by paper_size, texture vertices from the flat pattern
// (+0.5), every face in both windings, and one "#e tail head kind degrees"
// comment per line of the sheet (kind 1 outline, 0 flat or diagonal, 2 a
// mountain (negative target), 3 a valley, as the pattern's line types; degrees the present fold angle, unsigned, truncated).
// Sets each vertex's obj_index; leaves every half-edge's visited mark clear.
// Returns 0, or -1 when fp is null or a write failed.
int oriManifoldSaveObj(ORI_manifold* om, FILE* fp);

// Writes om as OBJ to the file path, written aside and renamed into place,
// so that path never holds half a shape. Returns 0, or -1 (path untouched,
// errno set where the system gave a reason).
int oriManifoldSaveObjFile(ORI_manifold* om, const char* path);
