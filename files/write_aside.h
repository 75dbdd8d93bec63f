// Files written aside and renamed into place, so that a file is never left
// half written under its final name: a reader sees the old file, or none,
// until the new one is complete.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "geometry/result.h"

//
// A stream written aside keeps the system's reason for the first write that
// failed (error), since stdio only keeps a flag: a full disk is then said as
// "No space left on device" wherever it is found, even by a writer that
// learns of it only at the end (a library writing through its own calls).
struct ORI_write_aside {
  std::string path;       // the final name
  std::string temporary;  // the name written to, beside the final one
  FILE* fp = nullptr;     // open for writing ("wb") until committed or discarded
  int fd = -1;            // the descriptor under fp
  int error = 0;          // the errno of the first write or close that failed; 0: none

  ORI_write_aside() = default;
  // Its stream points at it: it stays where it was made.
  ORI_write_aside(const ORI_write_aside&) = delete;
  ORI_write_aside& operator=(const ORI_write_aside&) = delete;
  // One still open when it goes (an exception on the way, such as running
  // out of memory) is discarded: nothing is left beside the final name.
  ~ORI_write_aside();
};

// Creates a new temporary file in path's directory ("<path>.part<pid>-<n>",
// made exclusively, with the permissions fopen would give) and opens it for
// writing. The record must stay where it is while fp is open (fp records
// its failures in it). Returns 0, or -1 with errno set (a directory that
// does not exist or cannot be written to).
int oriWriteAsideOpen(ORI_write_aside* wa, const char* path);

// Closes the temporary file (when still open) and renames it onto the final
// name. Returns 0, or -1 with errno set after removing the temporary file:
// the first failed write (wa->error, e.g. ENOSPC), one seen at close, or a
// rename that failed.
int oriWriteAsideCommit(ORI_write_aside* wa);

// Why writing wa failed, as errno would say it: the first failed write's
// reason, else errno when it is set, else EIO. For a writer's failure path
// that only learnt "a write failed" from the stream.
int oriWriteAsideReason(const ORI_write_aside* wa);

// Closes (when still open) and removes the temporary file; the final name
// is untouched. Safe on a record that was never opened.
void oriWriteAsideDiscard(ORI_write_aside* wa);

// The whole replacement for a writer of a stream: calls write(fp, context)
// on a file written aside, and renames it to path when write returns 0 and
// the file closes cleanly; otherwise removes it. Returns 0, or -1 (path
// untouched, nothing left behind, errno set: the system's reason for the
// first failed write, or EIO when write failed without one) when the file
// cannot be made, written or renamed.
int oriWriteFileReplacing(const char* path, int (*write)(FILE* fp, const void* context), const void* context);

// The same for a writer that says why it failed: write(fp, why) on a file
// written aside, renamed to path when it returns 0. Returns 0, or -1 with
// *why the writer's own reason, or "cannot write: " and the system's reason
// when the file could not be made, a write failed, or the rename failed;
// path is then untouched and nothing is left behind.
int oriWriteFileSaying(const char* path, const std::function<int(FILE* fp, std::string* why)>& write,
                       std::string* why);

// Creates the directory dir for output files, with its missing parents; an
// existing directory is fine. Fails with kOriFailWrite, subject dir, "cannot
// create the directory: REASON" (a file of that name in the way, a parent
// that cannot be written).
ORI_result oriMakeDirectory(const char* dir);
