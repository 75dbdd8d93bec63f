// The step report of a fold run: one JSON record per fold step, for
// plotting how a folding went and finding the step where it went wrong.
//
// The file reads
//   {"records": [
//     {"step": 1, "residual": R, "worst_vertex_error": E, "worst_vertex": V,
//      "cg_iterations": I, "max_delta": D, "ms": T, "intersecting_pairs": P,
//      "active_contacts": A, "locked": false, "dof": K},
//     ...]}
// one record to a line: step counts from 1 over the whole run; residual is
// the closure residual Σ|g| after the step; worst_vertex_error the largest
// closure error of an inner vertex (radians) and worst_vertex that vertex's
// index (ORI_vert::index, 0-based as in FOLD files; null without inner
// vertices); cg_iterations the projection's
// iterations; max_delta the largest angle change (radians); ms the step's
// wall time in milliseconds (solver, placement and any frame files); intersecting_pairs the pairs
// of faces passing through each other after the step, present only when
// they were looked for; active_contacts the pairs of faces that contact
// held apart in the step and locked whether the fold locked there, both
// present only with contact on; dof the degrees of freedom of the state
// after the step (sim/mobility.h), present only when it was analysed. A
// number that is not finite is written as null.
#pragma once

#include <cstdio>
#include <vector>

struct ORI_stepRecord {
  long step;
  double residual;
  double worst_vertex_error;
  int worst_vertex;        // -1: none
  int cg_iterations;
  double max_delta;
  double ms;
  int intersecting_pairs;  // -1: not looked for
  int active_contacts = -1;  // pairs of faces contact held apart in the step; -1: contact off
  int locked = 0;            // 1: contact locked the fold at this step
  int dof = -1;              // -1: not analysed
};

// Writes the report of records to fp (opened by the caller, not closed).
// Returns 0, or -1 when a write failed.
int oriStepReportWrite(const std::vector<ORI_stepRecord>& records, FILE* fp);

// Writes the report to path so that path never holds half a report: the
// text goes to a new file beside it, which then replaces path. Returns 0, or
// -1 (path untouched, nothing left behind) when the file cannot be made,
// written or renamed.
int oriStepReportSave(const std::vector<ORI_stepRecord>& records, const char* path);
