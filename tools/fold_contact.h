// plicata-fold's contact: --contact (with --thickness, tools/paper_thickness.h),
// the run's contact state, and the lines a run prints when contacts change
// and when the fold locks.
#pragma once

#include <string>

#include "files/step_report.h"
#include "sim/contact.h"
#include "tools/paper_thickness.h"

struct ORI_manifold;
struct ORISIM_matrix;
struct ORISIM_stepStats;
struct ORI_frameRecorder;

struct FoldContactOptions {
  bool on = false;  // --contact
};

// The contact options' part of plicata-fold --help (--thickness among them).
const char* foldContactUsage();

// Takes argv[*i] when it is --contact or --thickness (the value into
// thickness, advancing *i). Returns 1 when taken, 0 when it is neither, -1
// with *error set for a bad thickness.
int foldContactParseOption(int argc, char** argv, int* i, FoldContactOptions* opt, PaperThicknessOption* thickness,
                           std::string* error);

// One run's contact: the state (null without --contact) and what the last
// step did and printed.
struct FoldContactRun {
  ORISIM_contact* contact = nullptr;
  ORISIM_contactStats last{};
  int printed_active = 0;
  FoldContactRun() = default;
  FoldContactRun(const FoldContactRun&) = delete;
  FoldContactRun& operator=(const FoldContactRun&) = delete;
  ~FoldContactRun() { oriSimContactDelete(contact); }
};

// After a pattern is prepared: the thickness checked against its paper
// and, with --contact, the state made (or kept from the pattern before)
// with that thickness. False after one line on standard error naming
// --thickness.
bool foldContactPrepare(FoldContactRun* run, const FoldContactOptions& opt, const PaperThicknessOption& thickness,
                        const ORI_manifold* om);

// oriFoldStep with the solver "CG", with contact when the run has it; the
// step's contact figures are kept in run->last.
int foldContactStep(FoldContactRun* run, ORISIM_matrix* osm, ORI_manifold* om, double step, int* frame_no,
                    const ORI_frameRecorder* rec, double* max_delta, ORISIM_stepStats* stats);

// r with the contact fields of the last step (left as they are without
// --contact).
ORI_stepRecord foldContactRecord(const FoldContactRun& run, ORI_stepRecord r);

// After step number step: prints "contact step=K pairs=P" when the number
// of contacts held changed, and "locked step=K" when the fold locked.
// Returns true when it locked (folding stops).
bool foldContactAfterStep(FoldContactRun* run, long step);
