#include "tools/fold_contact.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "geometry/manifold.h"
#include "sim/fold_step.h"

const char* foldContactUsage() {
  static const std::string text = std::string(
                                      "\n"
                                      "Contact:\n"
                                      "  --contact      fold on without faces passing through each other: where\n"
                                      "                 faces meet, the fold lines driving them together stop and\n"
                                      "                 the others go on; prints\n"
                                      "                   contact step=K pairs=P\n"
                                      "                 when the number of pairs of faces held apart changes, and\n"
                                      "                   locked step=K\n"
                                      "                 when nothing can move any more (folding stops there)\n") +
                                  paperThicknessUsage();
  return text.c_str();
}

int foldContactParseOption(int argc, char** argv, int* i, FoldContactOptions* opt, PaperThicknessOption* thickness,
                           std::string* error) {
  if (std::strcmp(argv[*i], "--contact") == 0) {
    opt->on = true;
    return 1;
  }
  return paperThicknessParseOption(argc, argv, i, thickness, error);
}

bool foldContactPrepare(FoldContactRun* run, const FoldContactOptions& opt, const PaperThicknessOption& thickness,
                        const ORI_manifold* om) {
  std::string why;
  if (!paperThicknessCheck(thickness, om, &why)) {
    std::fprintf(stderr, "plicata-fold: %s\n", why.c_str());
    return false;
  }
  if (!opt.on) return true;
  if (run->contact == nullptr) run->contact = oriSimContactNew();
  oriSimContactSetThickness(run->contact, om, thickness.value, &why);
  oriSimContactForget(run->contact);
  return true;
}

int foldContactStep(FoldContactRun* run, ORISIM_matrix* osm, ORI_manifold* om, double step, int* frame_no,
                    const ORI_frameRecorder* rec, double* max_delta, ORISIM_stepStats* stats) {
  return oriFoldStep(osm, om, step, "CG", frame_no, rec, max_delta, stats, run->contact, &run->last);
}

ORI_stepRecord foldContactRecord(const FoldContactRun& run, ORI_stepRecord r) {
  if (run.contact == nullptr) return r;
  r.active_contacts = run.last.active;
  r.locked = run.last.locked;
  return r;
}

bool foldContactAfterStep(FoldContactRun* run, long step) {
  if (run->contact == nullptr) return false;
  const bool changed = run->last.active != run->printed_active;
  if (!changed && !run->last.locked) return false;
  // A progress bar drawn in place on the same terminal ends first.
  if (isatty(STDERR_FILENO) == 1) std::fputc('\n', stderr);
  std::fflush(stderr);
  if (changed) std::printf("contact step=%ld pairs=%d\n", step, run->last.active);
  run->printed_active = run->last.active;
  if (run->last.locked) std::printf("locked step=%ld\n", step);
  std::fflush(stdout);
  return run->last.locked != 0;
}
