#include "geometry/grid.h"

#include <algorithm>
#include <cmath>

namespace {

uint64_t packCell(int64_t cx, int64_t cy) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(cx)) << 32) | static_cast<uint32_t>(cy);
}

}  // namespace

void OriGrid::cover(double lo_x, double lo_y, double hi_x, double hi_y, size_t items) {
  const double root = std::sqrt(static_cast<double>(items));
  side_ = std::max<int64_t>(1, std::min<int64_t>(kOriGridMaxSide, static_cast<int64_t>(root)));
  lo_x_ = lo_x;
  lo_y_ = lo_y;
  width_ = std::max((hi_x - lo_x) / static_cast<double>(side_), kOriGridMinCell);
  height_ = std::max((hi_y - lo_y) / static_cast<double>(side_), kOriGridMinCell);
  cells_.assign(static_cast<size_t>(side_ * side_), Chain{});
  tiles_.clear();
  blocks_.clear();
}

void OriGrid::tile(double width) {
  side_ = 0;
  lo_x_ = lo_y_ = 0.0;
  width_ = height_ = width;
  cells_.clear();
  tiles_.clear();
  blocks_.clear();
}

int64_t OriGrid::cellOf(double f) const {
  if (side_ == 0) {
    return static_cast<int64_t>(std::max(-kOriGridCellLimit, std::min(kOriGridCellLimit, std::floor(f))));
  }
  if (!(f > 0.0)) return 0;
  if (f >= static_cast<double>(side_)) return side_ - 1;
  return static_cast<int64_t>(f);
}

void OriGrid::add(int64_t cx, int64_t cy, int id) {
  Chain& chain = side_ == 0 ? tiles_[packCell(cx, cy)] : cells_[static_cast<size_t>(cy * side_ + cx)];
  if (chain.last < 0 || blocks_[static_cast<size_t>(chain.last)].n == kBlockIds) {
    const int b = static_cast<int>(blocks_.size());
    blocks_.push_back(Block{0, -1, {}});
    if (chain.last < 0) {
      chain.first = b;
    } else {
      blocks_[static_cast<size_t>(chain.last)].next = b;
    }
    chain.last = b;
  }
  Block& block = blocks_[static_cast<size_t>(chain.last)];
  block.ids[block.n++] = id;
}

void OriGrid::addAll(const std::vector<uint32_t>& cells, const std::vector<int>& ids) {
  const size_t n = cells.size() < ids.size() ? cells.size() : ids.size();
  if (side_ == 0) return;
  for (size_t k = 0; k < n; ++k) {
    if (cells[k] >= cells_.size()) return;
  }
  if (!blocks_.empty()) {
    for (size_t k = 0; k < n; ++k) {
      add(static_cast<int64_t>(cells[k] % side_), static_cast<int64_t>(cells[k] / side_), ids[k]);
    }
    return;
  }
  // Counted per cell, each cell's blocks placed after the last cell's,
  // then filled in entry order.
  std::vector<int> count(cells_.size(), 0);
  for (size_t k = 0; k < n; ++k) ++count[cells[k]];
  size_t total = 0;
  for (size_t c = 0; c < cells_.size(); ++c) {
    if (count[c] == 0) continue;
    const int blocks = (count[c] + kBlockIds - 1) / kBlockIds;
    cells_[c] = Chain{static_cast<int>(total), static_cast<int>(total) + blocks - 1};
    total += static_cast<size_t>(blocks);
  }
  blocks_.assign(total, Block{0, -1, {}});
  std::vector<int> at(cells_.size(), -1);  // the block each cell fills now
  for (size_t c = 0; c < cells_.size(); ++c) {
    at[c] = cells_[c].first;
    for (int b = cells_[c].first; b >= 0 && b < cells_[c].last; ++b) blocks_[static_cast<size_t>(b)].next = b + 1;
  }
  for (size_t k = 0; k < n; ++k) {
    int& b = at[cells[k]];
    if (blocks_[static_cast<size_t>(b)].n == kBlockIds) ++b;
    Block& block = blocks_[static_cast<size_t>(b)];
    block.ids[block.n++] = ids[k];
  }
}

int OriGrid::firstBlock(int64_t cx, int64_t cy) const {
  if (side_ == 0) {
    auto it = tiles_.find(packCell(cx, cy));
    return it == tiles_.end() ? -1 : it->second.first;
  }
  if (cells_.empty() || cx < 0 || cy < 0 || cx >= side_ || cy >= side_) return -1;
  return cells_[static_cast<size_t>(cy * side_ + cx)].first;
}
