#include "geometry/list.h"

#include <cstdlib>

List* listNew() {
  List* top = static_cast<List*>(std::calloc(1, sizeof(List)));
  return top;
}

List* listAdd(List* top, List* p, void* data) {
  if (p == nullptr) {
    top->data = data;
    top->next = nullptr;
    top->prev = nullptr;
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
  if (top->data == nullptr) return listAdd(top, nullptr, data);
  List* last = top;
  while (last->next != nullptr) last = last->next;
  return listAdd(top, last, data);
}

int listDestruct(List* top) {
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
