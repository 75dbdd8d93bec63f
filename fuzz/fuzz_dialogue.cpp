// libFuzzer entry for the loading dialogue; the body is shared with the
// regression test (fuzz/harnesses.cpp).
#include "fuzz/harnesses.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  plicataFuzzDialogueSetUp();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return plicataFuzzDialogue(data, size); }
