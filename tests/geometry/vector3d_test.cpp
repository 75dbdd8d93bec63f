#include "geometry/vector3d.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(Vector3d, CrossProductIsRightHanded) {
  const vector3d x = {1, 0, 0}, y = {0, 1, 0};
  const vector3d z = x * y;
  EXPECT_EQ(z.x, 0);
  EXPECT_EQ(z.y, 0);
  EXPECT_EQ(z.z, 1);
  EXPECT_EQ((y * x).z, -1);
  const vector3d s = 2.0 * x;
  EXPECT_EQ(s.x, 2);
}

TEST(Vector3d, LengthAndDot) {
  EXPECT_EQ(abs(vector3d{0, 0, 0}), 0.0);
  EXPECT_EQ(abs(vector3d{3, 4, 0}), 5.0);
  EXPECT_EQ(dot(vector3d{1, 2, 3}, vector3d{4, 5, 6}), 32.0);
}

TEST(Vector3d, RotzTurnsCounterClockwiseAndKeepsZ) {
  vector3d a = {1, 0, 7};
  rotz(a, 90);
  EXPECT_NEAR(a.x, 0, 1e-15);
  EXPECT_NEAR(a.y, 1, 1e-15);
  EXPECT_EQ(a.z, 7);
  vector3d b = {1, 0, 7};
  rotz(b, -90);
  EXPECT_NEAR(b.y, -1, 1e-15);
}

TEST(Vector3d, ChainedOperationsAndDivisionByZeroFollowIeee) {
  vector3d a = {2, 4, 0};
  (a /= 2.0) += vector3d{1, 1, 1};
  EXPECT_EQ(a.x, 2);
  EXPECT_EQ(a.y, 3);
  EXPECT_EQ(a.z, 1);
  a *= 3.0;
  EXPECT_EQ(a.y, 9);
  vector3d z = {1, 0, 0};
  z /= 0.0;
  EXPECT_TRUE(std::isinf(z.x));
  EXPECT_TRUE(std::isnan(z.y));
}
