// How a folding is going, in figures a status readout and a step report
// show: how far the fold lines have come, and where the sheet fails to
// close worst.
#pragma once

struct ORI_manifold;
struct ORISIM_matrix;

// Fold progress in percent: the mean over the fold lines (lines with a
// target other than 0, each line once) of |angle| / |target|. 0 on a flat
// sheet, about 100 when every fold line has reached its target; a line
// folded the wrong way counts by its size. 0 when there is no fold line.
// How far one line is from its target is target_angle − angle of either
// half (radians). Cost: O(half-edges).
double oriFoldProgress(const ORI_manifold* om);

// The largest closure error over the inner vertices (radians, as
// oriSimVertexClosure gives it) of om's present angles; *vertex (may be
// null) receives that vertex's index (ORI_vert::index: its place in the
// vertex list, as FOLD files number vertices and picking names them; OBJ
// files count the same from 1), -1 when the sheet has no inner vertex (the
// result is then 0). Cost: O(creases + vertices).
double oriFoldWorstVertex(const ORISIM_matrix* osm, const ORI_manifold* om, int* vertex);
