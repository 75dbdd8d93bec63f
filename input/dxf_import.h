// Importing a DXF drawing: its segments are read, cut where they cross and
// handed to the face construction in memory, through the acceptance the XML
// reader's lines get, so that one construction builds every mesh.
#pragma once

#include <cstdio>

struct ORI_manifold;

// Builds om (fresh from oriManifoldNew) from the DXF text fp (opened by the
// caller, mode "r", and closed by it); om_old as for
// oriManifoldConstructFromOpx. The drawing is scaled to the paper (400 units)
// and centred, its lines cut at crossings and T-junctions. Returns 0; on
// failure the failing step's non-zero result with oriReadError set and om
// left empty: -1 when the drawing has no segments or no extent, when the
// chopping does not settle or when the construction fails ("read fail\n").
// Cost: the chopping's, about linear in the pieces made.
int oriManifoldConstructFromDxf(ORI_manifold* om, ORI_manifold* om_old, FILE* fp);
