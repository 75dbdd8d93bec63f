// plicata-fold's compliant solver options: --solver rigid|compliant and
// --stiffness FOLD,FACET,AXIAL (rows of the flag table), the check made
// after all options, and the line a step that did not converge prints.
#pragma once

#include <string>

#include "sheet/sheet.h"

// The options' part of plicata-fold --help.
const char* compliantUsage();

// --solver's value into options->solver: "" or the usage error.
std::string compliantSetSolver(ORI_foldOptions* options, const char* value);

// --stiffness's value (three comma-separated numbers) into
// options->stiffness: "" or the usage error, which names every value that
// is not a positive finite number. *given is set.
std::string compliantSetStiffness(ORI_foldOptions* options, const char* value, bool* given);

// After all options: "" or the usage error when --stiffness is given
// without --solver compliant, or --exact, --contact or a --mode above 0
// (along_mode) with it.
std::string compliantCheck(const ORI_foldOptions& options, bool stiffness_given, bool along_mode);

// After a step: when the compliant solver did not converge, says so on
// standard error (the step kept the last shape).
void compliantReport(const ORI_sheetStep& step);
