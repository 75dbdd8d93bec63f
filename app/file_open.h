// Loading crease patterns as a user does: the terminal dialogue, the choice
// of reader, triangulation, and the preparation of the mesh and simulation.
// Free of OpenGL, so that tests drive it through standard input.
#pragma once

#include <cstdio>
#include <string>

// Results of the loading dialogue.
constexpr int kFileOpenLoaded = 0;       // a pattern was loaded and prepared
constexpr int kFileOpenEndOfInput = 1;   // input ended while a name or an answer was awaited

// Loads a pattern into the window's sheet (app_state.h), flat. The name is
// initial_filename when given (may be null); a pattern's name that is
// nothing where it is given is looked up among the bundled examples
// (input/examples_dir.h). A name that cannot be opened (its reason printed,
// naming both places looked in for a missing one), names no supported format
// or cannot be read leads to the prompt "\tfile name? ", until a pattern is
// read; then, unless every facet is a
// triangle, "triangulate polygons?(Y/n)" is asked. The new model replaces
// the sheet's only once it is built and prepared, and folds by the panel's
// fold options; a pattern without a facet to fold is said so and leaves the
// sheet as it was. Returns kFileOpenLoaded, or kFileOpenEndOfInput after
// printing why, with the sheet as it was; the program should then stop with
// a non-zero status when it has nothing to show.
int FileOpen(const char* initial_filename);

// The same, the pattern opened onto the sheet's folded model, keeping its
// shape (each new vertex lands on the folded face under it and the crease
// angles follow). Without a model it opens a flat pattern like FileOpen.
// Returns kFileOpenLoaded, or kFileOpenEndOfInput after printing why, with
// the present model untouched.
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
// rollout does: onto the folded model, keeping its shape, when onto_folded
// is set and there is one (as FileNextOpen), else flat (as FileOpen);
// facets of more than three sides are cut into triangles when triangulate
// is set, standing for the terminal's answer. The new model replaces the
// sheet's only once it is built and prepared; the FOLD recording of the old
// one is written first (fold_recording.h). Returns 0, or -1 with *reason set
// to one line "NAME: why" (NAME without its folder) when the file cannot be
// opened, names no format, cannot be read or has no facet to fold: the
// present model is then untouched.
int appOpenPatternFile(const char* path, int onto_folded, int triangulate, std::string* reason);
