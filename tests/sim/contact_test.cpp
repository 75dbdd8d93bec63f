// Contact: two flaps whose tips meet at an angle worked out by hand stop
// there (or where their gap is the paper's thickness) and never cross; a
// fold that meets nothing is the ordinary fold, bit for bit.
#include "sim/contact.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "geometry/self_intersection.h"
#include "input/pattern_gen.h"
#include "sim/fold_step.h"
#include "sim/prepare.h"
#include "sim/sim_matrix.h"
#include "sim/sim_step.h"
#include "tests/support/fixtures.h"

namespace {

constexpr double kStep = 0.5;          // fold step 10
constexpr double kMostPerStep = 0.05;  // what a crease moves at most in a step of it, with no vertex to close

// A middle face 100 wide (x from −50 to 50, 200 high) between two valleys,
// and a flap on either side whose far edge slants: 50 from its crease at
// one end, 150 at the other, the right flap the left one turned half way
// round. Both valleys fold alike, so the flaps lean in together, and the
// slanting edges first meet in their middles, 100 from their creases, on
// the line x = 0: when 100 + 200·cos θ = 0, θ = 2π/3. Before that their
// lines lie 2·(100 + 200·cos θ) / √(4 + cos² θ) apart (file units).
std::vector<OriPatternLine> twoFlaps() {
  const double pts[8][2] = {{-100, -100}, {-50, -100}, {50, -100}, {200, -100},
                            {100, 100},   {50, 100},   {-50, 100}, {-200, 100}};
  std::vector<OriPatternLine> lines;
  for (int i = 0; i < 8; ++i) {
    lines.push_back({pts[i][0], pts[i][1], pts[(i + 1) % 8][0], pts[(i + 1) % 8][1], 1});
  }
  lines.push_back({-50, -100, -50, 100, kOriLineTypeValley});
  lines.push_back({50, -100, 50, 100, kOriLineTypeValley});
  return lines;
}

double tipDistance(double theta) {
  const double c = std::cos(theta);
  return 2.0 * (100.0 + 200.0 * c) / std::sqrt(4.0 + c * c);
}

struct Folding {
  ORI_manifold* om = nullptr;
  ORISIM_matrix* osm = nullptr;
  ORISIM_contact* contact = nullptr;
  explicit Folding(ORI_manifold* mesh, bool triangulate, double thickness) : om(mesh) {
    testing::internal::CaptureStdout();
    if (om != nullptr) oriManifoldPrepareForFolding(om, triangulate ? 1 : 0, 0, &osm);
    testing::internal::GetCapturedStdout();
    if (thickness >= 0.0) {
      contact = oriSimContactNew();
      std::string why;
      EXPECT_EQ(oriSimContactSetThickness(contact, om, thickness, &why), 0) << why;
    }
  }
  ~Folding() {
    oriSimContactDelete(contact);
    oriSimDelete(osm);
    oriManifoldDelete(om);
  }
  ORISIM_contactStats step() {
    int frame_no = 0;
    ORISIM_contactStats cs{};
    oriFoldStep(osm, om, kStep, "CG", &frame_no, nullptr, nullptr, nullptr, contact, &cs);
    return cs;
  }
};

// Folds the two flaps with contact and thickness (file units) until the
// fold locks; expects it to stop within one step short of stop_angle, the
// flaps never passing through each other nor closer than the thickness.
void foldTwoFlapsUntilLocked(double thickness, double stop_angle) {
  Folding f(loadOpxText(opxText(twoFlaps())), false, thickness);
  ASSERT_NE(f.osm, nullptr);
  ASSERT_EQ(f.osm->n, 2);
  bool locked = false;
  double theta = 0.0;
  std::vector<std::pair<int, int>> pairs;
  for (int k = 0; k < 120 && !locked; ++k) {
    const ORISIM_contactStats cs = f.step();
    locked = cs.locked != 0;
    // Alike, as the valleys are, in magnitude.
    theta = std::fabs(f.osm->angle_n[0]);
    EXPECT_NEAR(theta, std::fabs(f.osm->angle_n[1]), 1e-9) << "step " << k;
    EXPECT_EQ(oriManifoldSelfIntersections(f.om, &pairs), 0) << "step " << k;
    ASSERT_LE(theta, stop_angle) << "step " << k;
    ASSERT_GE(tipDistance(theta), thickness) << "step " << k;
  }
  EXPECT_TRUE(locked);
  EXPECT_GE(theta, stop_angle - kMostPerStep);
  // Locked, it stays.
  for (int k = 0; k < 3; ++k) f.step();
  EXPECT_NEAR(std::fabs(f.osm->angle_n[0]), theta, 1e-6);
}

}  // namespace

TEST(Contact, FlapsStopWhereTheirEdgesMeetAndNeverCross) {
  foldTwoFlapsUntilLocked(0.0, 2.0 * std::acos(-1.0) / 3.0);
}

TEST(Contact, ThickPaperStopsWhereTheGapIsTheThickness) {
  // 2·(100 + 200c) = T·√(4 + c²), squared: (160000 − T²)c² + 160000c + 40000 − 4T² = 0.
  const double T = 20.0;
  const double a = 160000.0 - T * T, b = 160000.0, c = 40000.0 - 4.0 * T * T;
  const double cosine = (-b + std::sqrt(b * b - 4.0 * a * c)) / (2.0 * a);
  ASSERT_NEAR(tipDistance(std::acos(cosine)), T, 1e-9);
  foldTwoFlapsUntilLocked(T, std::acos(cosine));
}

TEST(Contact, MiuraFoldedFarIsTheOrdinaryFoldBitForBit) {
  OriMiuraParams params;
  params.rows = 6;
  params.cols = 6;
  Folding plain(loadGeneratedMiura(params), true, -1.0);
  Folding contact(loadGeneratedMiura(params), true, 0.0);
  ASSERT_NE(plain.osm, nullptr);
  ASSERT_NE(contact.osm, nullptr);
  // Nearly flat at the end: layers within the contact tolerance, none closing.
  int most_found = 0;
  for (int k = 0; k < 200; ++k) {
    plain.step();
    const ORISIM_contactStats cs = contact.step();
    EXPECT_EQ(cs.active, 0) << "step " << k;
    most_found = std::max(most_found, cs.found);
    ASSERT_EQ(plain.osm->angle_n, contact.osm->angle_n) << "step " << k;
    const List* p = plain.om->verts;
    const List* q = contact.om->verts;
    for (; p != nullptr && p->data != nullptr && q != nullptr; p = p->next, q = q->next) {
      ASSERT_EQ(std::memcmp(&static_cast<ORI_vert*>(p->data)->pos, &static_cast<ORI_vert*>(q->data)->pos,
                            sizeof(vector3d)),
                0)
          << "step " << k;
    }
  }
  EXPECT_GT(most_found, 0);
}
