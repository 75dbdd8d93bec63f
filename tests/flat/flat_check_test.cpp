// The local conditions at single vertices whose answers are known by hand.
#include <gtest/gtest.h>

#include <cmath>

#include "flat/flat_check.h"
#include "flat/flat_state.h"
#include "input/pattern_gen.h"
#include "tests/support/fixtures.h"

namespace {

// The one inner vertex of a generated single-vertex pattern.
ORI_flatVertex checkVertex(std::initializer_list<double> sectors, std::initializer_list<int> types) {
  OriVertexParams p;
  p.degree = static_cast<int>(sectors.size());
  std::copy(sectors.begin(), sectors.end(), p.sector_deg);
  std::copy(types.begin(), types.end(), p.type);
  ORI_manifold* om = loadGeneratedVertex(p);
  ORI_flatCheck check;
  if (om != nullptr) oriFlatCheckVertices(om, &check);
  oriManifoldDelete(om);
  EXPECT_EQ(check.n_inner, 1);
  return check.vertices.empty() ? ORI_flatVertex{} : check.vertices[0];
}

}  // namespace

TEST(FlatCheck, KawasakiGivesTheAlternatingSumOfTheSectorsBetweenFolds) {
  // 100 - 80 + 90 - 90 = 20 degrees.
  const ORI_flatVertex v = checkVertex({100, 80, 90, 90}, {2, 3, 2, 2});
  EXPECT_NEAR(v.kawasaki_deg, 20.0, 1e-5);  // the XML keeps six decimals
  EXPECT_FALSE(v.kawasaki_ok);
  EXPECT_TRUE(v.maekawa_ok);
  // A flat line splitting the first sector is no fold: the same 20 degrees.
  const ORI_flatVertex w = checkVertex({45, 55, 80, 90, 90}, {2, 0, 3, 2, 2});
  EXPECT_NEAR(w.kawasaki_deg, 20.0, 1e-5);
  EXPECT_EQ(w.mountains + w.valleys, 4);
  // Supplementary opposite sectors pass.
  EXPECT_TRUE(checkVertex({70, 100, 110, 80}, {2, 3, 2, 2}).kawasaki_ok);
}

TEST(FlatCheck, MaekawaFailsWhenMountainsAndValleysDoNotDifferByTwo) {
  const ORI_flatVertex v = checkVertex({90, 90, 90, 90}, {2, 2, 3, 3});
  EXPECT_TRUE(v.kawasaki_ok);
  EXPECT_FALSE(v.maekawa_ok);
  EXPECT_EQ(v.mountains, 2);
  EXPECT_EQ(v.valleys, 2);
  EXPECT_TRUE(checkVertex({90, 90, 90, 90}, {2, 2, 2, 3}).maekawa_ok);
  // Three folds: no alternating sum closes, and Maekawa fails too.
  const ORI_flatVertex odd = checkVertex({120, 120, 120}, {2, 2, 3});
  EXPECT_TRUE(std::isnan(odd.kawasaki_deg));
  EXPECT_FALSE(odd.kawasaki_ok);
  EXPECT_FALSE(odd.maekawa_ok);
}

TEST(FlatCheck, APatternFailingLocallyHasTheFoldedFormButNoStackingAndSaysWhichVertex) {
  OriVertexParams p;
  const double sectors[4] = {90, 90, 90, 90};
  const int types[4] = {2, 2, 3, 3};
  std::copy(sectors, sectors + 4, p.sector_deg);
  std::copy(types, types + 4, p.type);
  ORI_manifold* om = loadGeneratedVertex(p);
  ASSERT_NE(om, nullptr);
  ORI_flatState st;
  ASSERT_FALSE(oriFailed(oriFlatAnalyse(om, ORI_layerOptions{}, &st)));
  EXPECT_EQ(st.check.n_fail, 1);
  EXPECT_EQ(st.form.n_face, om->n_face);
  EXPECT_EQ(st.layers.status, kOriLayerNotFlat);
  EXPECT_NE(st.layers.reason.find("vertex " + std::to_string(st.check.vertices[0].vertex)), std::string::npos)
      << st.layers.reason;
  EXPECT_TRUE(st.layers.face_orders.empty());
  oriFlatStateClear(&st);
  oriManifoldDelete(om);
}
