#include "geometry/paper_thickness.h"

#include <cmath>
#include <cstdio>

int oriPaperThicknessCheck(double thickness, double paper_size, std::string* why) {
  char text[128];
  if (std::isnan(thickness)) {
    *why = "is not a number";
  } else if (!std::isfinite(thickness)) {
    *why = "is not finite";
  } else if (thickness < 0.0) {
    *why = "is negative";
  } else if (paper_size > 0.0 && std::isfinite(paper_size) && thickness > kOriMaxThicknessShare * paper_size) {
    std::snprintf(text, sizeof text, "is above a quarter of the paper size (%g)", paper_size);
    *why = text;
  } else {
    return 0;
  }
  return -1;
}
