// A uniform grid of the plane: cells of one width and one height, each
// listing integer ids in the order they were added. It keeps the pair tests
// and point lookups of pattern building and of opening onto a folded model
// near-linear; every such index of the core is this grid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <unordered_map>
#include <vector>

// Most cells along one side of a grid laid over a box.
constexpr int kOriGridMaxSide = 1024;
// Narrowest cell of a grid laid over a box (its units): a box of no extent
// still has cells of a width that divides.
constexpr double kOriGridMinCell = 1e-12;
// Cell coordinates of a tiled grid are clamped to this, so that points far
// away share border cells instead of overflowing.
constexpr double kOriGridCellLimit = 1e9;

class OriGrid {
 public:
  // Lays side × side cells over the box [lo_x, hi_x] × [lo_y, hi_y], side
  // the square root of the number of items to be entered (1 to
  // kOriGridMaxSide). Cell coordinates are clamped to the grid, so a point
  // outside the box falls in a border cell; a coordinate that is not a
  // number falls in cell 0. Empties the grid.
  void cover(double lo_x, double lo_y, double hi_x, double hi_y, size_t items);

  // Tiles the whole plane with square cells of the given width, cell (0, 0)
  // starting at the origin; cells are kept only once an id enters them.
  // Empties the grid.
  void tile(double width);

  int64_t cellX(double x) const { return cellOf((x - lo_x_) / width_); }
  int64_t cellY(double y) const { return cellOf((y - lo_y_) / height_); }
  // The centre of a cell.
  double centreX(int64_t cx) const { return lo_x_ + (static_cast<double>(cx) + 0.5) * width_; }
  double centreY(int64_t cy) const { return lo_y_ + (static_cast<double>(cy) + 0.5) * height_; }
  double width() const { return width_; }
  double height() const { return height_; }
  // Cells of a grid laid over a box, and the position of cell (cx, cy) among
  // them (row by row), for callers that keep arrays by cell.
  size_t cellCount() const { return static_cast<size_t>(side_ * side_); }
  int64_t side() const { return side_; }
  size_t cellIndex(int64_t cx, int64_t cy) const { return static_cast<size_t>(cy * side_ + cx); }

  // Enters id into one cell.
  void add(int64_t cx, int64_t cy, int id);

  // Enters many ids into a grid laid over a box: entry k puts ids[k] into
  // the cell at position cells[k] (cellIndex), as add called for k = 0, 1, …
  // in turn would. Into an empty grid each cell's blocks are laid side by
  // side in one allocation. Nothing is entered when a position lies beyond
  // the cells, or on a tiled grid.
  void addAll(const std::vector<uint32_t>& cells, const std::vector<int>& ids);

  // Calls f(id) for the ids of a cell, in the order they were added; f may
  // return false to stop (then forEachId returns false).
  template <class F>
  bool forEachId(int64_t cx, int64_t cy, F f) const {
    for (int b = firstBlock(cx, cy); b >= 0; b = blocks_[static_cast<size_t>(b)].next) {
      const Block& block = blocks_[static_cast<size_t>(b)];
      for (int k = 0; k < block.n; ++k) {
        if constexpr (std::is_same_v<decltype(f(0)), bool>) {
          if (!f(block.ids[k])) return false;
        } else {
          f(block.ids[k]);
        }
      }
    }
    return true;
  }

  // Calls f(cx, cy) for every cell that meets the box [x0, x1] × [y0, y1],
  // row by row.
  template <class F>
  void forEachCell(double x0, double y0, double x1, double y1, F f) const {
    const int64_t cx0 = cellX(x0), cx1 = cellX(x1), cy1 = cellY(y1);
    for (int64_t cy = cellY(y0); cy <= cy1; ++cy) {
      for (int64_t cx = cx0; cx <= cx1; ++cx) f(cx, cy);
    }
  }

  // Enters id into every cell that meets the box.
  void addBox(double x0, double y0, double x1, double y1, int id) {
    forEachCell(x0, y0, x1, y1, [&](int64_t cx, int64_t cy) { add(cx, cy, id); });
  }

 private:
  // The ids of a cell lie in a chain of blocks of a few each, all blocks in
  // one array: a large pattern enters hundreds of thousands of ids, which
  // one growing array per cell paid for in allocations.
  static constexpr int kBlockIds = 6;
  struct Block {
    int n;     // ids used
    int next;  // the following block of the cell, -1 at the end
    int ids[kBlockIds];
  };
  struct Chain {
    int first = -1, last = -1;
  };

  int64_t cellOf(double f) const;
  int firstBlock(int64_t cx, int64_t cy) const;

  double lo_x_ = 0.0, lo_y_ = 0.0, width_ = 1.0, height_ = 1.0;
  int64_t side_ = 1;                              // cells per side when laid over a box; 0 when tiled
  std::vector<Chain> cells_;                      // over a box: row by row
  std::unordered_map<uint64_t, Chain> tiles_;     // tiled: by packed coordinates
  std::vector<Block> blocks_;
};
