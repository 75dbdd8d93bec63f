// Where the bundled example patterns are, wherever the program runs from:
// installed, in its build folder, or with the folder named by the user.
#pragma once

#include <string>

// The folder of the bundled examples, the first that exists of: the folder
// named by the environment variable PLICATA_EXAMPLES; share/plicata/examples
// beside the running program's bin folder (an installation, moved or not);
// examples/ in the parent of the program's folder (a build folder inside the
// clone); the folder the build installs them to; the clone's examples/ the
// program was built from. The path is made canonical; "" when none exists.
// Cost: a few file-system lookups.
std::string ExamplesDir();
