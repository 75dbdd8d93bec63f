// The paper's thickness: one number, in file units, that every use of it
// reads the same way (contact keeps faces that far apart; a solid export
// gives the sheet that thickness).
#pragma once

#include <string>

// The largest thickness accepted, as a share of the paper size: thicker
// than this, a sheet's facets are no longer plates but blocks.
constexpr double kOriMaxThicknessShare = 0.25;

// Whether thickness (file units) suits a paper of side paper_size (file
// units, ORI_manifold::paper_size): 0 for a finite number from 0 to
// kOriMaxThicknessShare × paper_size; else -1 with why set to the reason, a
// phrase to follow the option's name ("is negative", "is not a number",
// "is above a quarter of the paper size (400)"). A paper size that is not a
// positive number bounds nothing.
int oriPaperThicknessCheck(double thickness, double paper_size, std::string* why);
