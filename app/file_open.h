// Loading crease patterns as a user does: the terminal dialogue, the choice
// of reader, triangulation, and the preparation of the mesh and simulation.
// Free of OpenGL, so that tests drive it through standard input.
#pragma once

// Loads a pattern into a new manifold that becomes the.manifold and prepares
// it. initial_filename may be null (the name is asked for on the terminal).
void FileOpen(const char* initial_filename);

// Loads a pattern onto the folded the.manifold, keeping its shape, replaces
// the current model with it and prepares it. initial_filename may be null.
void FileNextOpen(const char* initial_filename);
