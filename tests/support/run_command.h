// Running a built command from a test and collecting what it printed.
#pragma once

#include <string>

struct CommandResult {
  int status;           // exit status, or -1 when it did not exit normally
  std::string out;      // standard output
  std::string err;      // standard error
};

// Runs the shell command line cmd (stdin from /dev/null unless cmd redirects
// it) and returns its exit status and output.
CommandResult runCommand(const std::string& cmd);

// The path of the built plicata-fold (from the PLICATA_FOLD environment
// variable CTest sets), or "" when it is unknown.
std::string plicataFoldPath();

// A fresh empty temporary directory.
std::string makeTempDir();
