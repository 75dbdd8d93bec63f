#include "tools/fold_interrupt.h"

#include <signal.h>

namespace {

volatile sig_atomic_t g_signal = 0;

void note(int signal) { g_signal = signal; }

}  // namespace

void foldInterruptsCatch() {
  struct sigaction action = {};
  action.sa_handler = note;
  sigemptyset(&action.sa_mask);
  // Restarted calls: a write to ffmpeg's pipe or a wait for it goes on
  // rather than failing as "Interrupted system call"; reset: a second
  // signal takes its default action.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int foldInterrupted() { return g_signal; }
