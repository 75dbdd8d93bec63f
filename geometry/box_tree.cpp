#include "geometry/box_tree.h"

#include <algorithm>
#include <cstdint>

namespace {

// Most boxes in a leaf: fewer nodes to cross against a few more pairs of
// boxes to compare, which sit side by side in memory.
constexpr int kLeafSize = 8;

// Bits of each coordinate in a box centre's place along the Z-order curve.
constexpr int kCurveBits = 10;

bool overlap(const ORI_box& a, const ORI_box& b) {
  return a.lo[0] <= b.hi[0] && b.lo[0] <= a.hi[0] && a.lo[1] <= b.hi[1] && b.lo[1] <= a.hi[1] &&
         a.lo[2] <= b.hi[2] && b.lo[2] <= a.hi[2];
}

// The box around a and b. Plain comparisons: the boxes hold finite numbers,
// and a library call per bound would cost more than the whole comparison.
ORI_box unite(const ORI_box& a, const ORI_box& b) {
  ORI_box u;
  for (int k = 0; k < 3; ++k) {
    u.lo[k] = b.lo[k] < a.lo[k] ? b.lo[k] : a.lo[k];
    u.hi[k] = b.hi[k] > a.hi[k] ? b.hi[k] : a.hi[k];
  }
  return u;
}

// Spreads the low ten bits of v to every third bit.
uint32_t spread(uint32_t v) {
  v &= 0x3ff;
  v = (v | (v << 16)) & 0x030000ff;
  v = (v | (v << 8)) & 0x0300f00f;
  v = (v | (v << 4)) & 0x030c30c3;
  v = (v | (v << 2)) & 0x09249249;
  return v;
}

struct Builder {
  ORI_boxTree* t;
  std::vector<uint32_t> code;  // place on the curve, by position in items

  // Makes the node over items[first .. first + count - 1] (in curve order)
  // and its subtree; returns its number. A node splits where the highest
  // bit of the curve place changes, so each half is one block of space;
  // boxes sharing one place split in the middle.
  int node(int first, int count) {
    const int id = static_cast<int>(t->nodes.size());
    t->nodes.push_back(ORI_boxTree::Node{t->item_boxes[first], -1, -1, first, count});
    if (count <= kLeafSize) {
      ORI_box box = t->item_boxes[first];
      for (int i = first + 1; i < first + count; ++i) box = unite(box, t->item_boxes[i]);
      t->nodes[id].box = box;
      return id;
    }
    const int last = first + count - 1;
    int half = count / 2;
    const uint32_t differ = code[first] ^ code[last];
    if (differ != 0) {
      const uint32_t bit = 1u << (31 - __builtin_clz(differ));
      half = static_cast<int>(std::partition_point(code.begin() + first, code.begin() + last + 1,
                                                   [bit](uint32_t c) { return (c & bit) == 0; }) -
                              (code.begin() + first));
    }
    const int left = node(first, half);
    const int right = node(first + half, count - half);
    ORI_boxTree::Node& n = t->nodes[id];
    n.left = left;
    n.right = right;
    n.count = 0;
    n.box = unite(t->nodes[left].box, t->nodes[right].box);
    return id;
  }
};

struct Walk {
  const ORI_boxTree* t;
  void (*visit)(void*, int, int);
  void* context;

  void leafPairs(const ORI_boxTree::Node& a, const ORI_boxTree::Node& b) const {
    for (int i = a.first; i < a.first + a.count; ++i) {
      if (!overlap(t->item_boxes[i], b.box)) continue;
      for (int j = b.first; j < b.first + b.count; ++j) {
        if (overlap(t->item_boxes[i], t->item_boxes[j])) visit(context, i, j);
      }
    }
  }

  // Pairs with one box under node a and the other under node b (a ≠ b).
  void across(int a, int b) const {
    const ORI_boxTree::Node& na = t->nodes[a];
    const ORI_boxTree::Node& nb = t->nodes[b];
    if (!overlap(na.box, nb.box)) return;
    if (na.count > 0 && nb.count > 0) {
      leafPairs(na, nb);
    } else if (nb.count > 0 || (na.count == 0 && a < b)) {
      // Opens the inner node nearer the root first, so both sides shrink alike.
      across(na.left, b);
      across(na.right, b);
    } else {
      across(a, nb.left);
      across(a, nb.right);
    }
  }

  // Pairs with both boxes under node a.
  void within(int a) const {
    const ORI_boxTree::Node& na = t->nodes[a];
    if (na.count > 0) {
      for (int i = na.first; i < na.first + na.count; ++i) {
        for (int j = i + 1; j < na.first + na.count; ++j) {
          if (overlap(t->item_boxes[i], t->item_boxes[j])) visit(context, i, j);
        }
      }
      return;
    }
    within(na.left);
    within(na.right);
    across(na.left, na.right);
  }
};

// The build up to the boxes' order: tree's nodes cleared and items set to the
// box numbers in leaf order; the curve places in that order into *code.
void orderBoxes(ORI_boxTree* tree, const ORI_box* boxes, int n, std::vector<uint32_t>* code) {
  tree->nodes.clear();
  tree->items.clear();
  tree->item_boxes.clear();
  if (n <= 0) return;
  // Box centres (doubled) placed on a Z-order curve over their bounds.
  double lo[3], hi[3];
  for (int k = 0; k < 3; ++k) lo[k] = hi[k] = boxes[0].lo[k] + boxes[0].hi[k];
  for (int i = 1; i < n; ++i) {
    for (int k = 0; k < 3; ++k) {
      const double c = boxes[i].lo[k] + boxes[i].hi[k];
      lo[k] = c < lo[k] ? c : lo[k];
      hi[k] = c > hi[k] ? c : hi[k];
    }
  }
  double scale[3];
  for (int k = 0; k < 3; ++k) scale[k] = hi[k] > lo[k] ? ((1 << kCurveBits) - 1) / (hi[k] - lo[k]) : 0.0;
  std::vector<uint64_t> keyed(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    uint32_t place = 0;
    for (int k = 0; k < 3; ++k) {
      // Clamped, so that bounds too large to sum (or their rounding) give
      // an end of the curve rather than an undefined conversion.
      double q = (boxes[i].lo[k] + boxes[i].hi[k] - lo[k]) * scale[k];
      q = q >= 0.0 ? (q <= (1 << kCurveBits) - 1 ? q : (1 << kCurveBits) - 1) : 0.0;
      place |= spread(static_cast<uint32_t>(q)) << k;
    }
    keyed[i] = (static_cast<uint64_t>(place) << 32) | static_cast<uint32_t>(i);
  }
  // Three passes of ten bits over the places, each stable: linear, where
  // a comparison sort of the keys costs n log n.
  std::vector<uint64_t> spare(keyed.size());
  for (int shift = 32; shift < 32 + 3 * kCurveBits; shift += kCurveBits) {
    size_t start[(1 << kCurveBits) + 1] = {};
    for (uint64_t key : keyed) ++start[((key >> shift) & ((1 << kCurveBits) - 1)) + 1];
    for (int d = 0; d < (1 << kCurveBits); ++d) start[d + 1] += start[d];
    for (uint64_t key : keyed) spare[start[(key >> shift) & ((1 << kCurveBits) - 1)]++] = key;
    keyed.swap(spare);
  }
  code->resize(static_cast<size_t>(n));
  tree->items.resize(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    (*code)[i] = static_cast<uint32_t>(keyed[i] >> 32);
    tree->items[i] = static_cast<int>(keyed[i] & 0xffffffffu);
  }
}

void buildNodes(ORI_boxTree* tree, std::vector<uint32_t>* code, int n) {
  Builder b{tree, std::vector<uint32_t>()};
  b.code.swap(*code);
  tree->nodes.reserve(2 * static_cast<size_t>(n) / kLeafSize + 2);
  b.node(0, n);
}

}  // namespace

void oriBoxTreeBuild(ORI_boxTree* tree, const ORI_box* boxes, int n) {
  std::vector<uint32_t> code;
  orderBoxes(tree, boxes, n, &code);
  if (n <= 0) return;
  tree->item_boxes.resize(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) tree->item_boxes[i] = boxes[tree->items[i]];
  buildNodes(tree, &code, n);
}

void oriBoxTreeBuildTaking(ORI_boxTree* tree, std::vector<ORI_box>* boxes) {
  const int n = static_cast<int>(boxes->size());
  std::vector<uint32_t> code;
  orderBoxes(tree, boxes->data(), n, &code);
  tree->item_boxes.swap(*boxes);
  boxes->clear();
  if (n <= 0) return;
  // Into leaf order in place, cycle by cycle of the order (place i takes box
  // items[i]), with a mark per place instead of a second copy.
  std::vector<char> placed(static_cast<size_t>(n), 0);
  std::vector<ORI_box>& b = tree->item_boxes;
  for (int start = 0; start < n; ++start) {
    if (placed[start]) continue;
    const ORI_box first = b[start];
    int i = start;
    for (;;) {
      placed[i] = 1;
      const int from = tree->items[i];
      if (from == start) {
        b[i] = first;
        break;
      }
      b[i] = b[from];
      i = from;
    }
  }
  buildNodes(tree, &code, n);
}

void oriBoxTreeRefit(ORI_boxTree* tree, const ORI_box* boxes) {
  for (size_t i = 0; i < tree->items.size(); ++i) tree->item_boxes[i] = boxes[tree->items[i]];
  // A node's children come after it in the list: from the end, every child
  // is refitted before its parent.
  for (size_t k = tree->nodes.size(); k-- > 0;) {
    ORI_boxTree::Node& node = tree->nodes[k];
    if (node.count > 0) {
      ORI_box box = tree->item_boxes[node.first];
      for (int i = node.first + 1; i < node.first + node.count; ++i) box = unite(box, tree->item_boxes[i]);
      node.box = box;
    } else {
      node.box = unite(tree->nodes[node.left].box, tree->nodes[node.right].box);
    }
  }
}

void oriBoxTreeOverlaps(const ORI_boxTree* tree, void (*visit)(void* context, int a, int b), void* context) {
  if (tree->nodes.empty()) return;
  const Walk walk{tree, visit, context};
  walk.within(0);
}

void oriBoxTreeOverlapTasks(const ORI_boxTree* tree, int parts, std::vector<ORI_boxTreeTask>* tasks) {
  tasks->clear();
  if (tree->nodes.empty()) return;
  tasks->push_back({0, -1});
  // Each pass splits every task that can be split, in order, as the walk
  // itself would open it.
  for (bool split = true; split && static_cast<int>(tasks->size()) < parts;) {
    split = false;
    std::vector<ORI_boxTreeTask> next;
    for (size_t k = 0; k < tasks->size(); ++k) {
      const ORI_boxTreeTask& t = (*tasks)[k];
      if (static_cast<int>(next.size() + tasks->size() - k) >= parts) {
        next.push_back(t);  // enough: the rest stays whole
        continue;
      }
      const ORI_boxTree::Node& na = tree->nodes[t.a];
      if (t.b < 0) {
        if (na.count > 0) {
          next.push_back(t);
        } else {
          next.push_back({na.left, -1});
          next.push_back({na.right, -1});
          next.push_back({na.left, na.right});
          split = true;
        }
        continue;
      }
      const ORI_boxTree::Node& nb = tree->nodes[t.b];
      if (na.count > 0 && nb.count > 0) {
        next.push_back(t);
      } else if (nb.count > 0 || (na.count == 0 && t.a < t.b)) {
        next.push_back({na.left, t.b});
        next.push_back({na.right, t.b});
        split = true;
      } else {
        next.push_back({t.a, nb.left});
        next.push_back({t.a, nb.right});
        split = true;
      }
    }
    tasks->swap(next);
  }
}

void oriBoxTreeOverlapsOf(const ORI_boxTree* tree, const ORI_boxTreeTask& task,
                          void (*visit)(void* context, int a, int b), void* context) {
  if (tree->nodes.empty()) return;
  const Walk walk{tree, visit, context};
  if (task.b < 0) {
    walk.within(task.a);
  } else {
    walk.across(task.a, task.b);
  }
}

