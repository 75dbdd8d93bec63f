// List: the doubly linked list of untyped elements that holds the mesh's
// records and the line list of the DXF import.
//
// A list is reached through its head node, which always exists. An empty list
// is a head node with null data; the first element is stored in the head node
// itself, further elements in new nodes.
#pragma once

struct List {
  void* data;  // the element; null only in the head node of an empty list
  List* next;  // following node; null at the end
  List* prev;  // preceding node; null in the head node
};

// A new empty list: a head node with null data, next and prev.
List* listNew();

// Adds data after node p of the list headed by top and returns the node that
// now holds data. With p null the element goes into the head node itself (its
// next and prev are cleared). Builders append by passing the node the
// previous call returned.
List* listAdd(List* top, List* p, void* data);

// Appends data at the end of the list headed by top and returns its node.
// warning: O(n), unless an append cursor is open on top (then O(1) for a run
// of appends).
List* listAppend(List* top, void* data);

// Append cursors: a run of many appends to one list (tessellation appends a
// face and two half-edges per diagonal) would walk the whole list on every
// call. While a cursor is open on top, listAppend starts its search for the
// end at the node it appended last instead of at the head; the result is the
// same list. Between open and close no node of that list may be unlinked or
// freed (inserting with listAdd is fine) and top must not be destructed
// (listDestruct drops the cursor if it is). Opening costs one walk of the
// list. At most kListMaxCursors cursors are open at once; opening one more
// returns -1 and listAppend then simply walks. Cursors belong to the calling
// thread: lists built in other threads at the same time keep their own.
// Returns 0.
constexpr int kListMaxCursors = 8;
int listCursorOpen(List* top);
// Closes the cursor of top; closing a list without one does nothing.
void listCursorClose(List* top);

// Frees every node of the list, head included; the elements are not freed.
// Returns 0.
int listDestruct(List* top);

// Number of elements: nodes counted from the head until one without data.
int listCount(const List* top);
