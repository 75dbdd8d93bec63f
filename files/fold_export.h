// Recording a folding as a FOLD file (the JSON exchange format of origami
// tools, version 1.2): frame 0 is the crease pattern, every further frame one
// folded state, so that other tools can replay the whole folding.
//
// A caller does: rec = oriFoldRecordingBegin(om) once the mesh is prepared;
// oriFoldRecordingFrame(rec, om) after each recorded step (faces placed);
// oriFoldRecordingSaveFile(rec, path); oriFoldRecordingDelete(rec).
//
// What is written:
//  - frame 0 ("creasePattern", "2D"): vertices_coords the flat CP-plane
//    points times paper_size (the pattern's units, y up as in FOLD);
//    edges_vertices one edge per line of the mesh, from the tail to the head
//    of the line's half-edge that comes first in the edge list (as the OBJ's
//    "#e" lines); edges_assignment "B" on the outline, "V" for the fold type
//    with the positive target, "M" for the negative one, "F" for flat lines;
//    edges_foldAngle the targets in degrees (±179.43 for the fold types,
//    0 otherwise); faces_vertices every face counter-clockwise, in face order.
//  - Tessellation diagonals are lines of the recorded sheet: flat "F" edges
//    (target 0) whose fold angle the folded frames carry, and the faces are
//    the triangles they make. Read back, they are flat lines.
//  - every further frame ("foldedForm", "3D", frame_parent 0, frame_inherit
//    true, so it shares the edges and faces of frame 0): vertices_coords the
//    folded positions exactly as the OBJ writes them (through model_matrix,
//    times paper_size, "%.6f"), edges_foldAngle the current angles in
//    degrees, clamped to [-180, 180]; a positive angle is a valley seen from
//    the side where the faces run counter-clockwise, as FOLD counts them.
//  - with oriFoldRecordingKeepStrain, every folded frame also carries
//    "edges_plicata:strain": per edge its relative change of length,
//    (folded length / flat length) − 1 from the frame's own coordinates
//    ("%.6e"), as a compliant folding stretches its bars. Without it no
//    such field is written.
//  - a flat-folded form, when one was given (after the folded frames, if
//    any): a frame ("foldedForm", "2D", frame_parent 0, frame_inherit true)
//    with the folded vertices_coords in the plane, edges_foldAngle ±180 for
//    the mountains and valleys (0 for the other edges), and the layer order
//    as faceOrders [f, g, s] when it is known.
//  - file_spec 1.2, file_creator "Plicata", file_classes ["animation"] when
//    there are folded frames from steps, ["singleModel"] otherwise.
#pragma once

#include <cstdio>

struct ORI_manifold;
struct ORI_fold_recording;

// Starts a recording of om (a built mesh, as after loading and preparing)
// and stores its frame 0. Null when om has no vertices, no lines or no faces,
// or a half-edge without a pair or head. Cost: linear in the mesh.
ORI_fold_recording* oriFoldRecordingBegin(const ORI_manifold* om);

// Appends one folded frame from the current vertex positions and fold
// angles of om, which must be the mesh the recording began with (the same
// vertex and half-edge lists). Returns 0; -1 and nothing recorded when the
// list lengths differ from frame 0's or a position or an angle is not a
// finite number. Memory: 3 doubles per vertex and 1 per line per frame.
int oriFoldRecordingFrame(ORI_fold_recording* rec, const ORI_manifold* om);

// From now on every folded frame also records each edge's strain (see
// above). Frames recorded before keep none; the field is written for all
// folded frames or none, so call it before the first. Null is ignored.
void oriFoldRecordingKeepStrain(ORI_fold_recording* rec);

// Sets the flat-folded form written after the folded frames: xy holds 2
// coordinates per vertex (file units, the vertex order of frame 0), and
// face_orders n_orders triples f, g, s (faces of frame 0, s in {-1, 0, 1}:
// +1 when f lies on the side of g that g's normal points to); null or 0
// orders write no faceOrders. A second call replaces the first. Returns 0;
// -1 and nothing kept when n_vert differs from frame 0's vertices, a
// coordinate is not finite, or a triple names a face that frame 0 lacks or
// an s out of range.
int oriFoldRecordingFoldedForm(ORI_fold_recording* rec, const double* xy, int n_vert, const int* face_orders,
                               int n_orders);

// Frames recorded, frame 0 included (the flat-folded form counted).
int oriFoldRecordingFrameCount(const ORI_fold_recording* rec);

// Writes the FOLD document to fp (opened by the caller, not closed).
// Returns 0, or -1 when fp or rec is null or a write failed.
int oriFoldRecordingSave(const ORI_fold_recording* rec, FILE* fp);

// Writes the FOLD document to the file path (created or replaced). Returns
// 0, or -1 when it cannot be opened or a write or the close failed.
int oriFoldRecordingSaveFile(const ORI_fold_recording* rec, const char* path);

// Frees the recording; null is allowed.
void oriFoldRecordingDelete(ORI_fold_recording* rec);
