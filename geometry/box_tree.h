// A bounding-volume hierarchy of axis-aligned boxes, for finding every pair
// of overlapping boxes among many (the folded sheet's faces) in about
// n log n time instead of comparing every pair.
#pragma once

#include <vector>

// A closed axis-aligned box; lo ≤ hi on each axis.
struct ORI_box {
  double lo[3];
  double hi[3];
};

// The hierarchy: a binary tree whose leaves hold up to a few boxes, every
// node the box around its children. Node 0 is the root.
struct ORI_boxTree {
  struct Node {
    ORI_box box;
    int left;   // child nodes of an inner node; -1 in a leaf
    int right;
    int first;  // a leaf's boxes are items[first .. first + count - 1]
    int count;  // 0 in an inner node
  };
  std::vector<Node> nodes;
  std::vector<int> items;          // box numbers as given to the build, in leaf order
  std::vector<ORI_box> item_boxes; // the boxes in the same order
};

// Builds tree over boxes[0 .. n - 1] (replacing what it held): the box
// centres are sorted along a Z-order curve (ten bits a coordinate over their
// bounds) and each node splits where the curve enters another block of
// space, or in the middle among boxes of one place, so the tree is at most
// about 30 + log2(n) deep whatever the layout. Boxes must hold finite
// numbers. n ≤ 0 gives an empty tree. Cost: a radix sort and a binary search
// per node, O(n log n) at most; memory: under 2n nodes and n boxes.
void oriBoxTreeBuild(ORI_boxTree* tree, const ORI_box* boxes, int n);

// The same tree over *boxes, whose memory it takes for its own copy
// (*boxes is left empty): a large sheet's check then holds the boxes once.
void oriBoxTreeBuildTaking(ORI_boxTree* tree, std::vector<ORI_box>* boxes);

// Gives the boxes of tree new places: boxes[k] is the new box of box number
// k as given to the build (n as then). The tree keeps its shape (which boxes
// share a leaf, how leaves pair up), so a tree built over one layout of the
// boxes serves a layout that moved continuously from it (a sheet folding,
// its tree built over the flat pattern): every node's box grows to hold its
// boxes' new places. Boxes must hold finite numbers. Cost: O(n), no
// allocation.
void oriBoxTreeRefit(ORI_boxTree* tree, const ORI_box* boxes);

// Calls visit(context, a, b) once for every pair of distinct boxes that
// overlap or touch, in no particular order and with a and b in either order.
// a and b are the boxes' places in tree->items (box numbers items[a] and
// items[b]): boxes near each other in space have places near each other, so
// a caller that keeps its own records in that order reads them from nearby
// memory. Cost: O(n log n + pairs) for boxes of bounded overlap.
void oriBoxTreeOverlaps(const ORI_boxTree* tree, void (*visit)(void* context, int a, int b), void* context);

// A share of the overlap walk: the pairs with both boxes under node a (b <
// 0), or with one under node a and the other under node b.
struct ORI_boxTreeTask {
  int a, b;
};

// Cuts the walk of oriBoxTreeOverlaps into tasks that together visit every
// pair once: the root's walk split node by node, breadth first, until
// there are at least parts tasks or nothing left to split. The tasks
// depend on the tree's shape alone (not on where its boxes are), so a tree
// that is only refitted keeps them. Cost: O(parts).
void oriBoxTreeOverlapTasks(const ORI_boxTree* tree, int parts, std::vector<ORI_boxTreeTask>* tasks);

// Calls visit for every pair of overlapping boxes of task (as
// oriBoxTreeOverlaps does for the whole tree).
void oriBoxTreeOverlapsOf(const ORI_boxTree* tree, const ORI_boxTreeTask& task,
                          void (*visit)(void* context, int a, int b), void* context);

