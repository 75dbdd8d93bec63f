// plicata-fold's linear-algebra threads. The library (OpenBLAS) starts a
// helper thread per core when it is loaded, before main, though only the
// dense path ever shares work among them; under an address-space limit a
// helper that cannot take its working memory retries for ever and holds
// the process at its exit. So the command starts itself again with the
// library set to one thread, once, and the dense path raises the count to
// what the library would have taken when it first needs it. A setting the
// user made (OPENBLAS_NUM_THREADS, GOTO_NUM_THREADS, OMP_NUM_THREADS) is
// kept as it is.
#pragma once

// First thing in main, with main's argv: returns in the process that is to
// run (the same one when nothing was to be done or the new start failed).
void foldStartBlasOnOneThread(char** argv);
