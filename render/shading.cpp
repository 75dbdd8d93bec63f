#include "render/shading.h"

#include <cmath>

#include "geometry/manifold.h"
#include "render/color_scale.h"

namespace {
constexpr double kWrapLoopLimit = 64.0 * kOriPi;
}  // namespace

double oriGLWrapAngle(double a) {
  if (!std::isfinite(a)) return 0.0;
  // Huge values are brought close first so that the loops stay short; fold
  // angles never come near this, and below it the loops alone decide.
  if (std::fabs(a) > kWrapLoopLimit) a = std::fmod(a, kOriPi);
  while (a <= -kOriPi) a += kOriPi;
  while (a >= kOriPi) a -= kOriPi;
  return a;
}

double oriGLLightTerm(const ORI_manifold* om, const ORI_face* f, OriPass pass) {
  const double* F = f->matrix;
  const double nx = F[2], ny = F[6], nz = F[10];
  const double* m = om->model_matrix;
  vector3d n;
  n.x = m[0] * nx + m[4] * ny + m[8] * nz;
  n.y = m[1] * nx + m[5] * ny + m[9] * nz;
  n.z = m[2] * nx + m[6] * ny + m[10] * nz;
  const double d = dot(n, om->light_dir);
  return pass == kOriFrontPass ? (d + 1.0) * 0.5 : 0.5 - d * 0.5;
}

void oriGLCornerCreases(const ORI_edge* e, const ORI_edge** out, const ORI_edge** in) {
  const ORI_edge* h_out = e->next;
  for (int k = 0; h_out->is_diagonal && k < kOriCornerWalkLimit; ++k) h_out = h_out->pair->next;
  const ORI_edge* h_in = e;
  for (int k = 0; h_in->is_diagonal && k < kOriCornerWalkLimit; ++k) h_in = h_in->pair->prev;
  *out = h_out;
  *in = h_in;
}

namespace {

// The part of a fold angle that darkens this pass: positive angles fold
// towards the front, negative towards the back.
double towardsPass(double a, OriPass pass) {
  const double signed_a = pass == kOriFrontPass ? a : -a;
  return signed_a > 0.0 ? signed_a : 0.0;
}

}  // namespace

double oriGLCornerTerm(const ORI_edge* e, OriPass pass) {
  double sum = 0.0;
  const ORI_edge* start = e->next;
  const ORI_edge* h = start;
  int k = 0;
  do {
    const double a = oriGLWrapAngle(h->angle);
    sum += pass == kOriFrontPass ? a : -a;
    h = h->pair->next;
  } while (h != start && ++k < kOriCornerWalkLimit);
  const double t = 1.0 - (sum > 0.0 ? sum : 0.0) * kOriInvTwoPi;

  const ORI_edge* h_out;
  const ORI_edge* h_in;
  oriGLCornerCreases(e, &h_out, &h_in);
  const double a_out = towardsPass(oriGLWrapAngle(h_out->angle), pass);
  const double a_in = towardsPass(oriGLWrapAngle(h_in->angle), pass);
  return 0.7 * ((std::cos(a_out) + 1.0) * 0.5 + (std::cos(a_in) + 1.0) * 0.5) * 0.5 + 0.3 * t;
}

double oriGLCornerTermCP(const ORI_edge* e, OriPass pass) {
  const ORI_edge* h_out;
  const ORI_edge* h_in;
  oriGLCornerCreases(e, &h_out, &h_in);
  const double a_out = towardsPass(h_out->angle, pass);
  const double a_in = towardsPass(h_in->angle, pass);
  return 1.0 - (a_out + a_in) * kOriInvTwoPi;
}

void oriGLPaperColor(const double K[12], double s, double v, float rgb[3]) {
  for (int c = 0; c < 3; ++c) {
    rgb[c] = static_cast<float>((K[c] * s + K[3 + c]) * v + K[6 + c] * s + K[9 + c]);
  }
}

bool oriGLDrawnOnce(const ORI_edge* e) {
  const double dx = e->x1 - e->x0;
  const double dy = e->y1 - e->y0;
  return dx < 0.0 || (dx == 0.0 && dy <= 0.0);
}

OriWireKind oriGLWireKind(const ORI_edge* e) {
  if (e->is_diagonal) return kOriWireHidden;
  if (e->on_boundary || e->pair->on_boundary) return kOriWireBoundary;
  if (e->target_angle > 0.0) return kOriWirePositive;
  if (e->target_angle < 0.0) return kOriWireNegative;
  return kOriWireHidden;
}

const float* oriGLWireColor(OriWireKind kind) {
  static const float kBlack[3] = {0.0f, 0.0f, 0.0f};
  if (kind == kOriWireNegative) return kOriMountainColor;
  if (kind == kOriWirePositive) return kOriValleyColor;
  return kBlack;
}

bool oriGLGreyLine(const ORI_edge* e) { return e->is_diagonal || e->target_angle == 0.0; }
