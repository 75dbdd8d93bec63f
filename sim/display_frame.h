// The display frame of the folded model: the rigid motion that lays the
// sheet the way the window shows it (three picked corners define the table
// plane, the fixed face's centroid sits over the pivot). The window applies it
// when drawing and when writing a frame; plicata-fold can apply it too, so
// that its frames are the window's.
#pragma once

struct ORI_manifold;

// Results of oriManifoldUpdateModelMatrix.
enum OriFrameResult {
  kOriFrameSet = 0,        // computed from the three axis vertices
  kOriFrameIdentity = 1,   // no origin vertex: identity
  kOriFrameKept = 2,       // vertices missing, coincident or collinear: unchanged
};

// Axis vertices closer than this, or a plane vertex this close to the axis
// line (length of the cross product), leave the display frame unchanged.
constexpr double kOriFrameDegenerate = 0.001;

// Rewrites om->model_matrix (OpenGL column order) from the folded positions
// of axis_origin p0, axis_x p1, axis_xy p2: the plane through them becomes
// z = 0, p1 − p0 the x axis, and the centroid of center_face is shown over
// (center.x, center.y). See OriFrameResult for the other cases.
int oriManifoldUpdateModelMatrix(ORI_manifold* om);
