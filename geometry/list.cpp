#include "geometry/list.h"

#include <cstdlib>

namespace {

// An open append cursor: the list's head node and its last node as far as
// listAppend knows (the true end is found by walking on from it).
struct AppendCursor {
  List* top;
  List* last;
};

thread_local AppendCursor g_cursors[kListMaxCursors];

AppendCursor* findCursor(const List* top) {
  for (AppendCursor& c : g_cursors) {
    if (c.top == top && top != nullptr) return &c;
  }
  return nullptr;
}

}  // namespace

List* listNew() {
  List* top = static_cast<List*>(std::calloc(1, sizeof(List)));
  return top;
}

List* listAdd(List* top, List* p, void* data) {
  if (p == nullptr) {
    top->data = data;
    top->next = nullptr;
    top->prev = nullptr;
    // The head now holds the whole list: an open cursor starts over from it.
    if (AppendCursor* cursor = findCursor(top)) cursor->last = top;
    return top;
  }
  List* node = static_cast<List*>(std::calloc(1, sizeof(List)));
  node->data = data;
  node->prev = p;
  node->next = p->next;
  if (p->next != nullptr) p->next->prev = node;
  p->next = node;
  return node;
}

List* listAppend(List* top, void* data) {
  AppendCursor* cursor = findCursor(top);
  List* node = nullptr;
  if (top->data == nullptr) {
    node = listAdd(top, nullptr, data);
  } else {
    List* last = cursor != nullptr && cursor->last != nullptr ? cursor->last : top;
    while (last->next != nullptr) last = last->next;
    node = listAdd(top, last, data);
  }
  if (cursor != nullptr) cursor->last = node;
  return node;
}

int listCursorOpen(List* top) {
  if (top == nullptr) return -1;
  AppendCursor* cursor = findCursor(top);
  if (cursor == nullptr) {
    for (AppendCursor& c : g_cursors) {
      if (c.top == nullptr) {
        cursor = &c;
        break;
      }
    }
  }
  if (cursor == nullptr) return -1;
  List* last = top;
  while (last->next != nullptr) last = last->next;
  cursor->top = top;
  cursor->last = last;
  return 0;
}

void listCursorClose(List* top) {
  AppendCursor* cursor = findCursor(top);
  if (cursor != nullptr) *cursor = AppendCursor{nullptr, nullptr};
}

int listDestruct(List* top) {
  listCursorClose(top);
  List* node = top;
  while (node != nullptr) {
    List* next = node->next;
    std::free(node);
    node = next;
  }
  return 0;
}

int listCount(const List* top) {
  int n = 0;
  for (const List* node = top; node != nullptr && node->data != nullptr; node = node->next) ++n;
  return n;
}
