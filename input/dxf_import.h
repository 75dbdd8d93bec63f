// Importing a DXF drawing: its segments are read, cut where they cross and
// written as crease-pattern XML into a temporary file, which the XML reader
// then builds, so that one reader builds every mesh.
#pragma once

#include <cstdio>

struct ORI_manifold;

// Builds om (fresh from oriManifoldNew) from the DXF text fp (opened by the
// caller, mode "r", and closed by it); om_old as for
// oriManifoldConstructFromOpx. The drawing is scaled to the paper (400 units)
// and centred, its lines cut at crossings and T-junctions. Returns 0; on
// failure the failing step's non-zero result with oriReadError set and om
// left empty: -1 when the drawing has no segments or no extent, when the
// chopping does not settle or when no temporary file can be made ("failed to
// save temp file"); the writer's result ("out fail\n") or the XML reader's
// ("read fail\n"). Cost: the chopping's, about linear in the pieces made.
int oriManifoldConstructFromDxf(ORI_manifold* om, ORI_manifold* om_old, FILE* fp);
