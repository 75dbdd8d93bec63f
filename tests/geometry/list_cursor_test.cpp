// Append cursors: appends with a cursor open build the same list as plain
// appends, whatever else is inserted meanwhile.
#include <gtest/gtest.h>

#include <vector>

#include "geometry/list.h"

namespace {

std::vector<long> contents(const List* top) {
  std::vector<long> out;
  for (const List* n = top; n != nullptr && n->data != nullptr; n = n->next) {
    out.push_back(reinterpret_cast<long>(n->data));
  }
  return out;
}

void* item(long v) { return reinterpret_cast<void*>(v); }

TEST(ListCursor, AppendsMatchPlainAppendsWithInsertionsBetween) {
  List* plain = listNew();
  List* fast = listNew();
  ASSERT_EQ(listCursorOpen(fast), 0);
  for (long v = 1; v <= 50; ++v) {
    List* p = listAppend(plain, item(v));
    List* f = listAppend(fast, item(v));
    if (v % 7 == 0) {
      // A builder inserting after the node it just added moves the end.
      listAdd(plain, p, item(1000 + v));
      listAdd(fast, f, item(1000 + v));
    }
  }
  EXPECT_EQ(contents(fast), contents(plain));
  EXPECT_EQ(fast->prev, nullptr);
  listCursorClose(fast);
  listAppend(fast, item(99));
  listAppend(plain, item(99));
  EXPECT_EQ(contents(fast), contents(plain));
  listDestruct(plain);
  listDestruct(fast);
}

TEST(ListCursor, RestartsWhenTheHeadIsRefilledAndDiesWithItsList) {
  List* top = listNew();
  ASSERT_EQ(listCursorOpen(top), 0);
  listAppend(top, item(1));
  listAppend(top, item(2));
  // Storing into the head node starts the list over; the cursor follows.
  listAdd(top, nullptr, item(5));
  listAppend(top, item(6));
  EXPECT_EQ(contents(top), (std::vector<long>{5, 6}));
  listDestruct(top);  // drops the cursor: a new list at the same address starts clean

  List* again = listNew();
  listAppend(again, item(7));
  listAppend(again, item(8));
  EXPECT_EQ(contents(again), (std::vector<long>{7, 8}));
  listDestruct(again);
}

TEST(ListCursor, TooManyCursorsFallBackToWalking) {
  std::vector<List*> lists;
  for (int i = 0; i < kListMaxCursors; ++i) {
    lists.push_back(listNew());
    ASSERT_EQ(listCursorOpen(lists.back()), 0);
  }
  List* extra = listNew();
  EXPECT_EQ(listCursorOpen(extra), -1);
  listAppend(extra, item(1));
  listAppend(extra, item(2));
  EXPECT_EQ(contents(extra), (std::vector<long>{1, 2}));
  listDestruct(extra);
  for (List* l : lists) {
    listCursorClose(l);
    listDestruct(l);
  }
  List* fresh = listNew();
  EXPECT_EQ(listCursorOpen(fresh), 0);
  listCursorClose(fresh);
  listDestruct(fresh);
}

}  // namespace
