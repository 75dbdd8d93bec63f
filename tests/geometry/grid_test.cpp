// Entering many ids at once must leave every cell listing what entering
// them one by one does, in the same order, and later ids must still follow.
#include "geometry/grid.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

std::vector<int> idsOf(const OriGrid& grid, int64_t cx, int64_t cy) {
  std::vector<int> out;
  grid.forEachId(cx, cy, [&](int id) { out.push_back(id); });
  return out;
}

TEST(Grid, EnteringAllAtOnceListsEveryCellAsEnteringOneByOne) {
  OriGrid one, all;
  one.cover(0, 0, 1, 1, 64);  // 8 × 8 cells
  all.cover(0, 0, 1, 1, 64);
  std::mt19937 random(7);
  std::vector<uint32_t> cells;
  std::vector<int> ids;
  // Crowded cells (many blocks each), lone ones and empty ones.
  for (int id = 0; id < 500; ++id) {
    const int reach = id % 3 == 0 ? 2 : 64;
    for (int k = 0; k < 1 + id % 4; ++k) {
      const uint32_t cell = static_cast<uint32_t>(random() % reach);
      cells.push_back(cell);
      ids.push_back(id);
      one.add(cell % 8, cell / 8, id);
    }
  }
  all.addAll(cells, ids);
  one.add(1, 0, 9000);
  all.add(1, 0, 9000);
  for (int64_t cy = 0; cy < 8; ++cy) {
    for (int64_t cx = 0; cx < 8; ++cx) EXPECT_EQ(idsOf(all, cx, cy), idsOf(one, cx, cy)) << cx << ", " << cy;
  }
}

}  // namespace
