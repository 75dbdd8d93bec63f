#include "render/color_scale.h"

#include <cmath>

namespace {

// Nine colours evenly spaced along viridis (matplotlib's perceptually
// uniform map), 0 to 255 per channel.
constexpr unsigned char kAnchors[9][3] = {
    {68, 1, 84},    {71, 44, 122},  {59, 81, 139},  {44, 113, 142}, {33, 144, 141},
    {39, 173, 129}, {92, 200, 99},  {170, 220, 50}, {253, 231, 37},
};

// The two ends of the fold-line ramp, 0 to 1 per channel.
constexpr float kToGoNear[3] = {0.93f, 0.82f, 0.62f};
constexpr float kToGoFar[3] = {0.42f, 0.16f, 0.02f};

double clamp01(double t) { return t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t); }

}  // namespace

namespace {

// value's place between floor and ceiling, log10-linear; NaN at the top.
double logPlace(double value, double floor, double ceiling) {
  if (std::isnan(value)) return 1.0;
  if (value <= floor) return 0.0;
  if (value >= ceiling) return 1.0;
  const double low = std::log10(floor), high = std::log10(ceiling);
  return (std::log10(value) - low) / (high - low);
}

}  // namespace

double oriGLClosureScale(double error) { return logPlace(error, kOriClosureFloor, kOriClosureCeiling); }

double oriGLStrainScale(double strain) { return logPlace(std::fabs(strain), kOriStrainFloor, kOriStrainCeiling); }

void oriGLScaleColor(double t, float rgb[3]) {
  const double x = clamp01(std::isnan(t) ? 1.0 : t) * 8.0;
  const int i = x >= 8.0 ? 7 : static_cast<int>(x);
  const double f = x - i;
  for (int c = 0; c < 3; ++c) {
    rgb[c] = static_cast<float>(((1.0 - f) * kAnchors[i][c] + f * kAnchors[i + 1][c]) / 255.0);
  }
}

void oriGLToGoColor(double share, float rgb[3]) {
  const float f = static_cast<float>(clamp01(std::isnan(share) ? 1.0 : share));
  for (int c = 0; c < 3; ++c) rgb[c] = (1.0f - f) * kToGoNear[c] + f * kToGoFar[c];
}
