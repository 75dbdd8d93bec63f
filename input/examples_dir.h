// Where the bundled example patterns are, wherever a program runs from, and
// the file a pattern's name stands for: a name that is nothing where it is
// given is looked up among the examples, so that "miura_4x4.opx" opens the
// bundled Miura-ori from any folder, in every program and in Python.
#pragma once

#include <string>

#include "geometry/result.h"

// The folder of the bundled examples, the first that exists of: the folder
// named by the environment variable PLICATA_EXAMPLES; share/plicata/examples
// beside the running program's bin folder (an installation, moved or not);
// examples/ in the parent of the program's folder (a build folder inside the
// clone); the folder the build installs them to; the clone's examples/ the
// program was built from. The path is made canonical; "" when none exists.
// Cost: a few file-system lookups.
std::string oriExamplesDir();

// The file (or folder) the pattern name path stands for, into *found:
// path itself when something is there, when it cannot be told (a folder on
// the way that cannot be searched: opening it then says why), or when path
// is absolute or empty; otherwise the entry of that relative name in the
// examples folder (oriExamplesDir) when it has one. Fails with
// kOriFailUnreadable, subject path, *found untouched, when neither exists:
// "no such file here (ABSOLUTE PATH) nor in the examples folder (DIR)", or
// "... and no examples folder was found (PLICATA_EXAMPLES names one)".
// Cost: a few file-system lookups.
ORI_result oriFindPattern(const char* path, std::string* found);
