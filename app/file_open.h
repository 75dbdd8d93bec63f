// Loading crease patterns as a user does: the terminal dialogue, the choice
// of reader, triangulation, and the preparation of the mesh and simulation.
// Free of OpenGL, so that tests drive it through standard input.
#pragma once

#include <cstdio>
#include <string>

// Results of the loading dialogue.
constexpr int kFileOpenLoaded = 0;       // a pattern was loaded and prepared
constexpr int kFileOpenEndOfInput = 1;   // input ended while a name or an answer was awaited

// Loads a pattern into a new manifold that becomes the.manifold and prepares
// it: the model starts flat. initial_filename may be null; a name that
// cannot be opened, names no supported format or cannot be read leads to the
// prompt "\tfile name? ", until a pattern is built. the.manifold and the.sim
// are overwritten: the caller deletes the previous model first.
// Returns kFileOpenLoaded, or kFileOpenEndOfInput after printing why, with
// the.manifold and the.sim null; the program should then stop with a
// non-zero status.
int FileOpen(const char* initial_filename);

// Loads a pattern onto the folded the.manifold, keeping its shape (each new
// vertex lands on the folded face under it and the crease angles follow),
// replaces the current model and its simulation record with it and prepares
// it. initial_filename may be null. Without a current model it opens a flat
// pattern like FileOpen. Returns kFileOpenLoaded, or kFileOpenEndOfInput
// after printing why, with the current model untouched.
int FileNextOpen(const char* initial_filename);

// The same dialogues reading the answers from in instead of standard input
// (prompts and messages still go to standard output).
int FileOpenFrom(FILE* in, const char* initial_filename);
int FileNextOpenFrom(FILE* in, const char* initial_filename);

// Whether a file's name (without its folder) ends with the mark of a format
// the readers take: .opx, .xml, .dxf, .fold, .svg or .cp (case as the
// readers match it).
bool appIsPatternName(const char* name);

// Opens the pattern file path without the terminal, as the panel's Files
// rollout does: onto the folded the.manifold, keeping its shape, when
// onto_folded is set and there is one (as FileNextOpen), else flat (as
// FileOpen); facets of more than three sides are cut into triangles when
// triangulate is set, standing for the terminal's answer. The new model
// replaces the current one and its simulation record only once it is built
// and prepared; the FOLD recording of the old one is written first
// (fold_recording.h). Returns 0, or -1 with *reason set to one line
// "NAME: why" (NAME without its folder) when the file cannot be opened,
// names no format, cannot be read or has no facet to fold: the current
// model is then untouched.
int appOpenPatternFile(const char* path, int onto_folded, int triangulate, std::string* reason);
