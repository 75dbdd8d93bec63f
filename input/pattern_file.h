// Opening a crease-pattern file by name: the reader is chosen by what the
// name contains (case-sensitive, anywhere in the name).
#pragma once

struct ORI_manifold;

enum OriOpenResult {
  kOriOpenOk = 0,
  kOriOpenFailed = -1,       // the reader could not build the pattern (oriReadError says why)
  kOriOpenUnsupported = -2,  // the name names no known format
  kOriOpenUnreadable = -3,   // the file cannot be opened for reading
};

// The reader for a name: 1 for XML (".opx" or ".xml"), 0 for none.
int oriPatternFormat(const char* name);

// Opens name, builds om from it with the reader its name selects (om_old as
// for the readers), and closes the file. Returns an OriOpenResult; on
// failure oriReadError holds the reason.
int oriManifoldConstructFromFile(ORI_manifold* om, ORI_manifold* om_old, const char* name);
