// Loading crease patterns as a user does: the terminal dialogue, the choice
// of reader, triangulation, and the preparation of the mesh and simulation.
// Free of OpenGL, so that tests drive it through standard input.
#pragma once

#include <cstdio>

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
