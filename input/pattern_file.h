// Opening a crease-pattern file by name: the reader is chosen by what the
// name contains (case-sensitive, anywhere in the name).
#pragma once

#include <cstdio>

struct ORI_manifold;

enum OriOpenResult {
  kOriOpenOk = 0,
  kOriOpenFailed = -1,       // the reader could not build the pattern (oriReadError says why)
  kOriOpenUnsupported = -2,  // the name names no known format
  kOriOpenUnreadable = -3,   // the file cannot be opened for reading
};

enum OriPatternKind {
  kOriPatternUnknown = 0,
  kOriPatternXml = 1,  // ".opx" or ".xml"
  kOriPatternDxf = 2,  // ".dxf" (when the name has no XML mark)
  kOriPatternFold = 3,  // ".fold" (when the name has none of the marks above)
  kOriPatternSvg = 4,  // ".svg" (likewise)
  kOriPatternCp = 5,  // ".cp" (likewise; tested last, as the shortest mark)
};

// The reader a name selects, the marks tested in the order XML, DXF, FOLD,
// SVG, CP: "a.dxf.opx" is XML, "a.cp.svg" SVG.
int oriPatternFormat(const char* name);

// Builds om from the open stream fp (not closed) with the reader that name
// selects; om_old as for the readers. Returns an OriOpenResult; on failure
// oriReadError holds the reason.
int oriManifoldConstructFromStream(ORI_manifold* om, ORI_manifold* om_old, FILE* fp, const char* name);

// Opens name, builds om from it (see above) and closes the file.
int oriManifoldConstructFromFile(ORI_manifold* om, ORI_manifold* om_old, const char* name);
