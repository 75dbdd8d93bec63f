// The closure map's scale: decades at equal steps, failures shown as worst,
// lightness that grows with the error, and a warning colour that no place on
// the scale can be taken for.
#include "render/color_scale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

double luminance(const float rgb[3]) { return 0.2126 * rgb[0] + 0.7152 * rgb[1] + 0.0722 * rgb[2]; }

}  // namespace

TEST(ColorScale, ClosureErrorsFallOnALogarithmicScaleWithFailuresAtTheTop) {
  EXPECT_EQ(oriGLClosureScale(0.0), 0.0);
  EXPECT_EQ(oriGLClosureScale(kOriClosureFloor), 0.0);
  EXPECT_NEAR(oriGLClosureScale(1e-5), 0.2, 1e-12);
  EXPECT_NEAR(oriGLClosureScale(1e-3), 0.6, 1e-12);
  EXPECT_EQ(oriGLClosureScale(kOriClosureCeiling), 1.0);
  EXPECT_EQ(oriGLClosureScale(3.0), 1.0);
  EXPECT_EQ(oriGLClosureScale(std::numeric_limits<double>::quiet_NaN()), 1.0);
  EXPECT_EQ(oriGLClosureScale(std::numeric_limits<double>::infinity()), 1.0);
}

TEST(ColorScale, LargerErrorsAreLighterAndNeverLookLikeTheWarning) {
  float previous[3];
  oriGLScaleColor(0.0, previous);
  for (int i = 1; i <= 100; ++i) {
    float rgb[3];
    oriGLScaleColor(i / 100.0, rgb);
    EXPECT_GT(luminance(rgb), luminance(previous)) << "t = " << i / 100.0;
    const double dr = rgb[0] - kOriCollisionColor[0], dg = rgb[1] - kOriCollisionColor[1],
                 db = rgb[2] - kOriCollisionColor[2];
    EXPECT_GT(std::sqrt(dr * dr + dg * dg + db * db), 0.5) << "t = " << i / 100.0;
    for (int c = 0; c < 3; ++c) previous[c] = rgb[c];
  }
}
