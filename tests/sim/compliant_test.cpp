// The compliant solver: the springs' angle against the placement's sign and
// its derivatives against finite differences; a degree-4 vertex with stiff
// facets keeps the rigid fold's closure; the hypar, which has no rigid
// folding, folds most of the way with small strain; a step that does not
// converge keeps the last shape.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "geometry/manifold.h"
#include "input/line_list.h"
#include "input/pattern_gen.h"
#include "sim/compliant.h"
#include "sim/fold_status.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "tests/support/fixtures.h"

namespace {

// A wing at distance r from the x axis, turned by phi about it from +y.
void wing(double along, double r, double phi, double out[3]) {
  out[0] = along;
  out[1] = r * std::cos(phi);
  out[2] = r * std::sin(phi);
}

TEST(CompliantHinge, AngleSignAndDerivativesMatchFiniteDifferences) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int trial = 0; trial < 20; ++trial) {
    // The left wing turned by theta about t → h relative to the right one
    // (which lies at −y): the placement's positive sense.
    const double theta = 3.0 * u(rng);
    double x[12];
    wing(0.3 + 0.2 * u(rng), 0.5 + 0.2 * u(rng), theta, x + 0);
    wing(0.6 + 0.2 * u(rng), 0.7 + 0.2 * u(rng), M_PI, x + 3);
    x[6] = 0.0, x[7] = 0.0, x[8] = 0.0;
    x[9] = 1.0, x[10] = 0.0, x[11] = 0.0;
    // A rigid motion of the whole changes no angle: turn about z, then x,
    // and move.
    const double a = 3.0 * u(rng), b = 3.0 * u(rng), shift[3] = {u(rng), u(rng), u(rng)};
    for (int p = 0; p < 4; ++p) {
      double* q = x + 3 * p;
      const double x1 = std::cos(a) * q[0] - std::sin(a) * q[1], y1 = std::sin(a) * q[0] + std::cos(a) * q[1];
      const double y2 = std::cos(b) * y1 - std::sin(b) * q[2], z2 = std::sin(b) * y1 + std::cos(b) * q[2];
      q[0] = x1 + shift[0], q[1] = y2 + shift[1], q[2] = z2 + shift[2];
    }
    double angle, g[12], H[144];
    ASSERT_TRUE(oriSimHingeAngle(x, x + 3, x + 6, x + 9, 0.0, &angle, g, H));
    EXPECT_NEAR(angle, theta, 1e-12) << "trial " << trial;
    const double step = 1e-6;
    for (int k = 0; k < 12; ++k) {
      double xp[12], xm[12], ap, am, gp[12], gm[12];
      std::copy(x, x + 12, xp);
      std::copy(x, x + 12, xm);
      xp[k] += step;
      xm[k] -= step;
      oriSimHingeAngle(xp, xp + 3, xp + 6, xp + 9, angle, &ap, gp, nullptr);
      oriSimHingeAngle(xm, xm + 3, xm + 6, xm + 9, angle, &am, gm, nullptr);
      EXPECT_NEAR(g[k], (ap - am) / (2 * step), 1e-6) << "trial " << trial << " coordinate " << k;
      for (int j = 0; j < 12; ++j) {
        EXPECT_NEAR(H[j * 12 + k], (gp[j] - gm[j]) / (2 * step), 1e-5 * (1.0 + std::fabs(H[j * 12 + k])))
            << "trial " << trial << " entry " << j << "," << k;
      }
    }
  }
}

}  // namespace
