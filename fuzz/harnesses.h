// The bodies of the fuzz targets: each feeds bytes to one input path a user
// can reach and aborts when the program breaks its own rules (an invalid
// mesh, a non-finite angle). The fuzz targets call them with the fuzzer's
// bytes; the regression test replays the inputs kept in
// tests/fuzz_regressions/ through the same bodies.
#pragma once

#include <cstddef>
#include <cstdint>

// The XML path: reading, construction, triangulation, numbering,
// placement, the simulation record and three fold steps.
int plicataFuzzOpx(const uint8_t* data, size_t size);
// The DXF path: reading, chopping, the XML conversion and the mesh.
int plicataFuzzDxf(const uint8_t* data, size_t size);
// The FOLD, SVG and ORIPA text paths, each through chopping, the XML
// conversion, the mesh and the fold; a built FOLD sheet is also recorded and
// written back as FOLD.
int plicataFuzzFold(const uint8_t* data, size_t size);
int plicataFuzzSvg(const uint8_t* data, size_t size);
int plicataFuzzCp(const uint8_t* data, size_t size);
// The BMP loader (the paper texture).
int plicataFuzzBmp(const uint8_t* data, size_t size);
// The paper colour file.
int plicataFuzzPaperColor(const uint8_t* data, size_t size);
// The loading dialogue: the bytes are what the user types. Call
// plicataFuzzDialogueSetUp once first: it writes the pattern the seeds name.
void plicataFuzzDialogueSetUp();
int plicataFuzzDialogue(const uint8_t* data, size_t size);
