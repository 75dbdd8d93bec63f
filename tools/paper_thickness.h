// plicata-fold's --thickness T: the paper's thickness in file units. One
// option, parsed here once, read by everything that gives the paper a
// thickness (contact keeps faces that far apart; a solid export makes the
// sheet that thick), so that they never disagree.
#pragma once

#include <string>

struct ORI_manifold;

struct PaperThicknessOption {
  double value = 0.0;  // file units; 0: paper without thickness
  bool given = false;
};

// The help text of the option.
const char* paperThicknessUsage();

// Takes argv[*i] when it is --thickness, with its value (advancing *i):
// returns 1, or -1 with *error naming the option when the value is missing,
// not a number, not finite or negative. 0: not this option.
int paperThicknessParseOption(int argc, char** argv, int* i, PaperThicknessOption* opt, std::string* error);

// After a pattern is loaded: false with *error ("--thickness 150 is above a
// quarter of the paper size (400)") when the thickness does not suit its
// paper (oriPaperThicknessCheck).
bool paperThicknessCheck(const PaperThicknessOption& opt, const ORI_manifold* om, std::string* error);
