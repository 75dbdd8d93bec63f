// libFuzzer entry for the ORIPA text path; the body is shared with the
// regression test (fuzz/harnesses.cpp).
#include "fuzz/harnesses.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return plicataFuzzCp(data, size); }
