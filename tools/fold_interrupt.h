// plicata-fold's interruptions: SIGINT (Ctrl-C) and SIGTERM (a job ended by
// its scheduler) ask the run to stop where it safely can: between steps,
// between pictures, between files. The file being written is finished, the
// pictures' and videos' temporary files are removed, and the command exits
// with 128 + the signal's number (130, 143). A second such signal ends the
// process at once, as it would have without this.
#pragma once

// Installs the handlers. The handler only notes the signal.
void foldInterruptsCatch();

// The signal that asked the run to stop (SIGINT, SIGTERM), or 0.
int foldInterrupted();
