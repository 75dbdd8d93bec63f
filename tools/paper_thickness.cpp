#include "tools/paper_thickness.h"

#include <cstdlib>
#include <cstdio>
#include <cstring>

#include "geometry/manifold.h"
#include "geometry/paper_thickness.h"

const char* paperThicknessUsage() {
  return "  --thickness T  the paper's thickness in file units (default 0): with --contact,\n"
         "                 faces that share no corner keep their middles T apart; at most a\n"
         "                 quarter of the paper size\n";
}

int paperThicknessParseOption(int argc, char** argv, int* i, PaperThicknessOption* opt, std::string* error) {
  if (std::strcmp(argv[*i], "--thickness") != 0) return 0;
  if (*i + 1 >= argc) {
    *error = "--thickness needs a value";
    return -1;
  }
  const char* text = argv[++*i];
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  std::string why;
  if (end == text || *end != '\0') {
    *error = std::string("--thickness needs a number of file units, 0 or more: ") + text;
    return -1;
  }
  if (oriPaperThicknessCheck(v, 0.0, &why) != 0) {
    *error = std::string("--thickness ") + text + " " + why;
    return -1;
  }
  opt->value = v;
  opt->given = true;
  return 1;
}

bool paperThicknessCheck(const PaperThicknessOption& opt, const ORI_manifold* om, std::string* error) {
  std::string why;
  if (oriPaperThicknessCheck(opt.value, om->paper_size, &why) == 0) return true;
  char text[64];
  std::snprintf(text, sizeof text, "%g", opt.value);
  *error = std::string("--thickness ") + text + " " + why;
  return false;
}
