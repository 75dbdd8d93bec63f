// Files written aside and renamed into place, so that a file is never left
// half written under its final name: a reader sees the old file, or none,
// until the new one is complete.
#pragma once

#include <cstdio>
#include <string>

#include "geometry/result.h"

struct ORI_write_aside {
  std::string path;       // the final name
  std::string temporary;  // the name written to, beside the final one
  FILE* fp = nullptr;     // open for writing ("wb") until committed or discarded
};

// Creates a new temporary file in path's directory ("<path>.part<pid>-<n>",
// made exclusively, with the permissions fopen would give) and opens it for
// writing. Returns 0, or -1 with errno set (a directory that does not exist
// or cannot be written to).
int oriWriteAsideOpen(ORI_write_aside* wa, const char* path);

// Closes the temporary file (when still open) and renames it onto the final
// name. Returns 0, or -1 with errno set after removing the temporary file:
// a failed write seen at close, or a rename that failed.
int oriWriteAsideCommit(ORI_write_aside* wa);

// Closes (when still open) and removes the temporary file; the final name
// is untouched. Safe on a record that was never opened.
void oriWriteAsideDiscard(ORI_write_aside* wa);

// The whole replacement for a writer of a stream: calls write(fp, context)
// on a file written aside, and renames it to path when write returns 0 and
// the file closes cleanly; otherwise removes it. Returns 0, or -1 (path
// untouched, nothing left behind, errno set where the system gave a reason)
// when the file cannot be made, written or renamed.
int oriWriteFileReplacing(const char* path, int (*write)(FILE* fp, const void* context), const void* context);

// Creates the directory dir for output files, with its missing parents; an
// existing directory is fine. Fails with kOriFailWrite, subject dir, "cannot
// create the directory: REASON" (a file of that name in the way, a parent
// that cannot be written).
ORI_result oriMakeDirectory(const char* dir);
