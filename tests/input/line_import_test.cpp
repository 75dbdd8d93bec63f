// The line-list chain that every drawing format shares.
#include "input/line_import.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "input/read_error.h"
#include "tests/support/dxf_fixtures.h"
#include "tests/support/interop_fixtures.h"

// A 400-unit square with a crease at x = 100.123456789: the chain builds it
// from the drawing's own numbers, so the crease's vertices sit where the
// drawing puts them to the last bits, not where six decimals would (5e-10
// CP units away).
TEST(LineImport, EveryDrawingFormatKeepsTheDigitsBeyondTheSixthDecimal) {
  const double a = 100.123456789;
  const std::string x = "100.123456789";
  const std::string svg_square = "<rect x=\"0\" y=\"0\" width=\"400\" height=\"400\" fill=\"none\" stroke=\"#000000\"/>\n";
  const struct {
    const char* name;
    std::string text;
  } drawings[] = {
      {"square.cp", "1 0 0 400 0\n1 400 0 400 400\n1 400 400 0 400\n1 0 400 0 0\n2 " + x + " 0 " + x + " 400\n"},
      {"square.fold",
       "{\"vertices_coords\": [[0,0],[" + x + ",0],[400,0],[400,400],[" + x +
           ",400],[0,400]],\n \"edges_vertices\": [[0,1],[1,2],[2,3],[3,4],[4,5],[5,0],[1,4]],\n"
           " \"edges_assignment\": [\"B\",\"B\",\"B\",\"B\",\"B\",\"B\",\"M\"]}\n"},
      {"square.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 400 400\">\n" + svg_square +
                         "<line x1=\"" + x + "\" y1=\"0\" x2=\"" + x + "\" y2=\"400\" stroke=\"#ff0000\"/>\n</svg>\n"},
      {"square.dxf", dxfText({dxfPolyline({{0, 0}, {400, 0}, {400, 400}, {0, 400}}, 1), dxfLine(a, 0, a, 400, 1)})},
  };
  // Fitted to the paper (centred, 400 units) and divided by the paper size.
  const double expected = (a - 200.0) / 400.0;
  for (const auto& d : drawings) {
    ORI_manifold* om = loadPatternText(d.text, d.name);
    ASSERT_NE(om, nullptr) << d.name << ": " << oriReadError();
    expectSoundSheet(om);
    int on_crease = 0;
    for (List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
      const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
      if (std::fabs(v->pos.x - expected) > 1e-6) continue;
      ++on_crease;
      EXPECT_NEAR(v->pos.x, expected, 1e-13) << d.name;
    }
    EXPECT_EQ(on_crease, 2) << d.name;
    oriManifoldDelete(om);
  }
}
