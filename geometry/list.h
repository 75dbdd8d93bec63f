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

// Appends data at the end of the list headed by top. warning: O(n).
List* listAppend(List* top, void* data);

// Frees every node of the list, head included; the elements are not freed.
// Returns 0.
int listDestruct(List* top);

// Number of elements: nodes counted from the head until one without data.
int listCount(const List* top);
