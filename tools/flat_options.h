// plicata-fold's options of the flat-folded state: the local checks, the
// folded form as a FOLD file and the choice of a stacking of its layers.
// Everything is printed on standard output before the summary line, which
// stays last.
#pragma once

#include <string>

struct ORI_sheet;

struct FlatOptions {
  bool check = false;        // --check
  std::string folded_form;   // --folded-form FILE.fold
  long long layer_state = 1; // --layer-state K (1 = the first)
  bool layer_state_given = false;
  bool requested() const { return check || !folded_form.empty() || layer_state_given; }
};

// The options' part of plicata-fold --help.
const char* flatOptionsUsage();

// Takes argv[*i] when it is one of these options, with its value (advancing
// *i). Returns 1 when taken, 0 when it is none of them, -1 with *error set
// for a missing or bad value.
int flatOptionsParse(int argc, char** argv, int* i, FlatOptions* opt, std::string* error);

// For the sheet's pattern as it ends the run: reads its flat state
// (oriSheetFlatState) when opt asks for anything and prints, in this order, the
// check's lines (--check), "layer_states=N" and the verdict on the stacking
// (--layer-state, --folded-form), and writes the folded form. Returns 0, or
// 1 after one line on standard error (a file that cannot be written, a
// stacking asked for that does not exist).
int flatOptionsRun(const FlatOptions& opt, ORI_sheet* sheet);
