// Append cursors build the same list as plain appends.
#include <gtest/gtest.h>

#include <vector>

#include "geometry/list.h"

namespace {

std::vector<long> contents(const List* top) {
  std::vector<long> out;
  for (const List* n = top; n != nullptr && n->data != nullptr; n = n->next) out.push_back(reinterpret_cast<long>(n->data));
  return out;
}

void* item(long v) { return reinterpret_cast<void*>(v); }

TEST(ListCursor, AppendsMatchPlainAppendsWhateverIsInsertedBetween) {
  List* plain = listNew();
  List* fast = listNew();
  ASSERT_EQ(listCursorOpen(fast), 0);
  for (long v = 1; v <= 50; ++v) {
    List* p = listAppend(plain, item(v));
    List* f = listAppend(fast, item(v));
    if (v % 7 == 0) {  // an insertion after the last node moves the end
      listAdd(plain, p, item(1000 + v));
      listAdd(fast, f, item(1000 + v));
    }
  }
  EXPECT_EQ(contents(fast), contents(plain));
  // Storing into the head node starts the list over; the cursor follows.
  List* dropped = fast->next;
  listAdd(fast, nullptr, item(5));
  listDestruct(dropped);
  listAppend(fast, item(6));
  EXPECT_EQ(contents(fast), (std::vector<long>{5, 6}));
  listDestruct(fast);  // drops the cursor: a list made at the same address starts clean
  List* again = listNew();
  listAppend(again, item(7));
  listAppend(again, item(8));
  EXPECT_EQ(contents(again), (std::vector<long>{7, 8}));
  listDestruct(again);
  listDestruct(plain);
}

}  // namespace
