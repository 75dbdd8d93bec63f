// The Jacobian by rows of nonzeros.
//
// Sections: 3 × 3 products; the rows of each inner vertex; the residual;
// products with the Jacobian.
#include "sim/sparse_jacobian.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/manifold.h"
#include "sim/parallel_chunks.h"
#include "sim/sim_matrix.h"

namespace {

// ---- 3 × 3 products ----------------------------------------------------------
//
// Written out: the dense path's CBLAS call per product costs about a hundred
// nanoseconds, which for ten thousand vertices of degree six is most of a
// step; and each corner factor is two plane rotations, a quarter of the
// operations of a general product.

void identity3(double P[9]) {
  for (int i = 0; i < 9; ++i) P[i] = (i % 4 == 0) ? 1.0 : 0.0;
}

// The plane rotations that make up a corner factor R = X(θ)·Z(α), applied
// to the columns (from the right) or the rows (from the left) of a
// row-major 3 × 3 matrix in place.
inline void rightX(double M[9], double c, double s) {
  for (int i = 0; i < 3; ++i) {
    const double m1 = M[3 * i + 1], m2 = M[3 * i + 2];
    M[3 * i + 1] = m1 * c + m2 * s;
    M[3 * i + 2] = m2 * c - m1 * s;
  }
}
inline void rightZ(double M[9], double c, double s) {
  for (int i = 0; i < 3; ++i) {
    const double m0 = M[3 * i], m1 = M[3 * i + 1];
    M[3 * i] = m0 * c + m1 * s;
    M[3 * i + 1] = m1 * c - m0 * s;
  }
}
inline void leftX(double M[9], double c, double s) {
  for (int j = 0; j < 3; ++j) {
    const double m1 = M[3 + j], m2 = M[6 + j];
    M[3 + j] = c * m1 - s * m2;
    M[6 + j] = s * m1 + c * m2;
  }
}
inline void leftZ(double M[9], double c, double s) {
  for (int j = 0; j < 3; ++j) {
    const double m0 = M[j], m1 = M[3 + j];
    M[j] = c * m0 - s * m1;
    M[3 + j] = s * m0 + c * m1;
  }
}

// The inner vertices in row order: slot s holds the vertex whose sim_index
// is s (the last in list order, should two share one), null where none does.
void verticesByRow(const ORISIM_matrix* osm, const ORI_manifold* om, std::vector<const ORI_vert*>* by_row) {
  by_row->assign(static_cast<size_t>(osm->m / 3), nullptr);
  for (const List* l = om->verts; l != nullptr && l->data != nullptr; l = l->next) {
    const ORI_vert* v = static_cast<const ORI_vert*>(l->data);
    if (v->sim_index >= 0 && v->sim_index < osm->m / 3) (*by_row)[v->sim_index] = v;
  }
}

}  // namespace

// ---- The rows of each inner vertex -------------------------------------------

namespace {

// Walks every inner vertex's cycle and lays out J's structure: the entries
// (one per crease a vertex meets), the corners that fill them, and the
// grouping of creases by owner.
void planRows(ORISIM_sparse* J, const ORISIM_matrix* osm, const ORI_manifold* om) {
  const int vertices = osm->m / 3;
  J->vert_start.assign(static_cast<size_t>(vertices) + 1, 0);
  J->col.clear();
  J->plan_start.assign(static_cast<size_t>(vertices) + 1, 0);
  J->plan_edge.clear();
  J->plan_corner.clear();
  J->plan_entry.clear();
  J->plan_active.clear();
  // Every inner vertex's cycle holds its half-edges once: the rows' entries
  // fit in as many as the sheet has, taken at once instead of by doubling.
  const size_t most = static_cast<size_t>(om->n_edge > 0 ? om->n_edge : 0);
  J->col.reserve(most);
  J->plan_edge.reserve(most);
  J->plan_corner.reserve(2 * most);
  J->plan_entry.reserve(most);
  J->plan_active.reserve(most);
  std::vector<const ORI_vert*> by_row;
  verticesByRow(osm, om, &by_row);
  std::vector<const ORI_edge*> cycle;
  for (int s = 0; s < vertices; ++s) {
    const size_t first = J->col.size();
    cycle.clear();
    if (by_row[s] != nullptr) oriSimVertexCycle(by_row[s], om->n_edge, &cycle);
    for (const ORI_edge* e : cycle) {
      const int c = e->crease_index;
      int k = -1;
      if (c >= 0 && c < osm->n) {
        // One entry per crease: a crease met twice keeps the later value.
        size_t at = first;
        while (at < J->col.size() && J->col[at] != c) ++at;
        if (at == J->col.size()) J->col.push_back(c);
        k = static_cast<int>(at);
      }
      J->plan_edge.push_back(e);
      J->plan_corner.push_back(-e->prev->turn_cos);
      J->plan_corner.push_back(e->prev->turn_sin);
      J->plan_entry.push_back(k);
      J->plan_active.push_back(e->sim_active == 1 ? 1 : 0);
    }
    J->vert_start[s + 1] = static_cast<int>(J->col.size());
    J->plan_start[s + 1] = static_cast<int>(J->plan_edge.size());
  }

  // The creases by owner: each crease's first entry in row order is its
  // owner's, a second is the other vertex's; a third (a mesh the numbering
  // does not fit) leaves the grouping unusable.
  const size_t entries = J->col.size();
  std::vector<int> first(static_cast<size_t>(osm->n), -1), second(static_cast<size_t>(osm->n), -1);
  std::vector<int> entry_vertex(entries, 0);
  bool paired = true;
  for (int s = 0; s < vertices; ++s) {
    for (int k = J->vert_start[s]; k < J->vert_start[s + 1]; ++k) {
      entry_vertex[k] = s;
      const int c = J->col[k];
      if (first[c] < 0) {
        first[c] = k;
      } else if (second[c] < 0) {
        second[c] = k;
      } else {
        paired = false;
      }
    }
  }
  J->owner_start.assign(static_cast<size_t>(vertices) + 1, 0);
  J->other.clear();
  J->pair_col.clear();
  J->pair_slot.assign(entries, -1);
  if (paired) {
    size_t next = 0;
    for (int s = 0; s < vertices; ++s) {
      for (int k = J->vert_start[s]; k < J->vert_start[s + 1]; ++k) {
        const int c = J->col[k];
        if (first[c] != k) continue;
        const int o = second[c];
        J->other.push_back(o < 0 ? vertices : entry_vertex[o]);
        J->pair_col.push_back(c);
        J->pair_slot[k] = static_cast<int>(8 * next);
        if (o >= 0) J->pair_slot[o] = static_cast<int>(8 * next + 4);
        ++next;
      }
      J->owner_start[s + 1] = static_cast<int>(next);
    }
  }
  J->paired = paired;
  J->pair_val.assign(paired ? 8 * J->other.size() : 0, 0.0);
  J->val.assign(3 * entries, 0.0);
  J->plan_mesh = om;
  J->plan_edges = om->n_edge;
}

}  // namespace

namespace {

// Vertices and fold lines to a chunk of the refill: a few hundred
// microseconds each.
constexpr long kVerticesPerChunk = 1024;
constexpr long kLinesPerChunk = 4096;

// Refills inner vertex s's entries, pair slots and residual rows (see
// oriSimSparseUpdate), line_cs holding the cosine and sine of every fold
// line's angle.
void refillVertex(ORISIM_sparse* J, int s, const double* line_cs) {
  const int begin = J->plan_start[s], end = J->plan_start[s + 1];
  const int K = end - begin;
  if (K == 0) {
    std::fill(&J->residual[3 * static_cast<size_t>(s)], &J->residual[3 * static_cast<size_t>(s)] + 3, 0.0);
    return;
  }
  // Scratch of the thread that runs the vertex.
  thread_local std::vector<double> W, cs;
  W.resize(9 * static_cast<size_t>(K));
  cs.resize(2 * static_cast<size_t>(K));
  for (int j = 0; j < K; ++j) {
    const int k = J->plan_entry[begin + j];
    if (k >= 0) {
      const double* line = &line_cs[2 * static_cast<size_t>(J->col[k])];
      cs[2 * j] = line[0];
      cs[2 * j + 1] = line[1];
    } else {
      const double theta = J->plan_edge[begin + j]->angle;
      cs[2 * j] = std::cos(theta);
      cs[2 * j + 1] = std::sin(theta);
    }
  }
  double M[9];
  identity3(M);
  for (int j = K - 1; j >= 0; --j) {
    const double* corner = &J->plan_corner[2 * static_cast<size_t>(begin + j)];
    leftZ(M, corner[0], corner[1]);
    std::copy(M, M + 9, &W[9 * static_cast<size_t>(j)]);
    leftX(M, cs[2 * j], cs[2 * j + 1]);
  }
  identity3(M);
  for (int j = 0; j < K; ++j) {
    const double* corner = &J->plan_corner[2 * static_cast<size_t>(begin + j)];
    rightX(M, cs[2 * j], cs[2 * j + 1]);
    const int k = J->plan_entry[begin + j];
    if (k >= 0) {
      double v21 = 0.0, v02 = 0.0, v10 = 0.0;  // an inactive crease has zero entries, as in the dense rows
      if (J->plan_active[begin + j]) {
        const double* w = &W[9 * static_cast<size_t>(j)];
        v21 = M[8] * w[4] - M[7] * w[7];
        v02 = M[2] * w[5] - M[1] * w[8];
        v10 = M[5] * w[3] - M[4] * w[6];
      }
      double* val = &J->val[3 * static_cast<size_t>(k)];
      val[0] = v21;
      val[1] = v02;
      val[2] = v10;
      if (J->paired) {
        double* slot = &J->pair_val[J->pair_slot[k]];
        slot[0] = v21;
        slot[1] = v02;
        slot[2] = v10;
      }
    }
    rightZ(M, corner[0], corner[1]);
  }
  // The whole product: the closure residual, as oriSimSparseResidual has it.
  J->residual[3 * s] = M[7];
  J->residual[3 * s + 1] = M[2];
  J->residual[3 * s + 2] = M[3];
}

}  // namespace

int oriSimSparseUpdate(ORISIM_sparse* J, const ORISIM_matrix* osm, const ORI_manifold* om) {
  const bool planned = J->plan_mesh == om && J->plan_edges == om->n_edge && J->m == osm->m && J->n == osm->n &&
                       J->plan_start.size() == static_cast<size_t>(osm->m / 3) + 1;
  J->m = osm->m;
  J->n = osm->n;
  J->residual.resize(static_cast<size_t>(osm->m));
  if (osm->m == 0) {
    *J = ORISIM_sparse();
    J->n = osm->n;
    J->vert_start.assign(1, 0);
    return -1;
  }
  if (!planned) planRows(J, osm, om);

  // Per vertex of degree K: the suffixes W_j = Z_j·S_j (S_j the product of
  // the factors after j) from the back, then the prefixes U_j = L_j·X_j
  // (L_j the product of the factors before j) from the front. The product
  // with factor j replaced by its derivative X_j·G·Z_j is U_j·G·W_j, G the
  // generator of rotations about x, so each of its three entries is two
  // products of the two.
  const int vertices = osm->m / 3;
  // The cosine and sine of every fold line once (each meets two vertices),
  // from the record's angles, which every step writes into the half-edges
  // alike; a corner outside the numbering reads its half-edge.
  const int n = osm->n;
  thread_local std::vector<double> cosines;  // kept by the thread: no fresh pages each step
  cosines.resize(2 * static_cast<size_t>(n));
  double* line_cs = cosines.data();  // the caller's, for the chunks
  const double* angle = osm->angle_n.data();
  const int line_chunks = oriSimChunks(n, kLinesPerChunk);
  oriSimForChunks(line_chunks, [=](int k) {
    for (long c = oriSimChunkBegin(n, line_chunks, k); c < oriSimChunkBegin(n, line_chunks, k + 1); ++c) {
      line_cs[2 * c] = std::cos(angle[c]);
      line_cs[2 * c + 1] = std::sin(angle[c]);
    }
  });
  // Each vertex writes its own entries, pair slots and residual rows.
  const int chunks = oriSimChunks(vertices, kVerticesPerChunk);
  oriSimForChunks(chunks, [=](int k) {
    const int s0 = static_cast<int>(oriSimChunkBegin(vertices, chunks, k));
    const int s1 = static_cast<int>(oriSimChunkBegin(vertices, chunks, k + 1));
    for (int s = s0; s < s1; ++s) refillVertex(J, s, line_cs);
  });
  return 0;
}

size_t oriSimSparseCount(const ORISIM_sparse& J) { return J.val.size(); }

// ---- The residual ------------------------------------------------------------

double oriSimSparseResidual(std::vector<double>& residual_m, const ORISIM_matrix* osm, const ORI_manifold* om) {
  if (osm->m == 0) return 0.0;
  // The factors applied as plane rotations, in the order and with the
  // operations of the refill of oriSimSparseUpdate: both give the same
  // residual to the last bit.
  oriSimFillResidual(residual_m, osm, om, [](const std::vector<const ORI_edge*>& cycle, double P[9]) {
    identity3(P);
    for (const ORI_edge* e : cycle) {
      rightX(P, std::cos(e->angle), std::sin(e->angle));
      rightZ(P, -e->prev->turn_cos, e->prev->turn_sin);
    }
  });
  const double* g = residual_m.data();
  return oriSimSum(osm->m, kOriSimStreamGrain, [g](long r) { return std::fabs(g[r]); });
}

double oriSimVertexClosure(std::vector<double>& error_per_vertex, const ORISIM_matrix* osm, const ORI_manifold* om,
                           int* worst) {
  const int inner = osm->m / 3;
  error_per_vertex.assign(static_cast<size_t>(inner), 0.0);
  if (worst != nullptr) *worst = -1;
  if (inner == 0) return 0.0;
  std::vector<double> rows;
  oriSimSparseResidual(rows, osm, om);
  double largest = -1.0;
  for (int s = 0; s < inner; ++s) {
    const double* g = &rows[3 * static_cast<size_t>(s)];
    const double e = std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
    error_per_vertex[s] = e;
    if (e > largest) {
      largest = e;
      if (worst != nullptr) *worst = s;
    }
  }
  return largest;
}

// ---- Products with the Jacobian ------------------------------------------------

namespace {

// Whether J's offsets are whole for its size (a record never filled has none).
bool wellFormed(const ORISIM_sparse& J) {
  return J.vert_start.size() == static_cast<size_t>(J.m / 3) + 1 && J.val.size() == 3 * J.col.size();
}

}  // namespace

namespace {

// Vertices' rows and owned creases to a chunk of the products.
constexpr long kRowVerticesPerChunk = 8192;
constexpr long kPairsPerChunk = 16384;

}  // namespace

void oriSimSparseMultiply(const ORISIM_sparse& J, double alpha, const double* x, double beta, double* y) {
  const bool formed = wellFormed(J);
  const int vertices = J.m / 3;
  const int* col = J.col.data();
  const int* vert_start = J.vert_start.data();
  const double* val = J.val.data();
  const int chunks = oriSimChunks(vertices, kRowVerticesPerChunk);
  oriSimForChunks(chunks, [=](int c) {
    for (int s = static_cast<int>(oriSimChunkBegin(vertices, chunks, c));
         s < static_cast<int>(oriSimChunkBegin(vertices, chunks, c + 1)); ++s) {
      double y0 = 0.0, y1 = 0.0, y2 = 0.0;
      if (formed) {
        for (int k = vert_start[s]; k < vert_start[s + 1]; ++k) {
          const double xc = x[col[k]];
          y0 += val[3 * k] * xc;
          y1 += val[3 * k + 1] * xc;
          y2 += val[3 * k + 2] * xc;
        }
      }
      double* out = y + 3 * s;
      if (beta == 0.0) {
        out[0] = alpha * y0;
        out[1] = alpha * y1;
        out[2] = alpha * y2;
      } else {
        out[0] = alpha * y0 + beta * out[0];
        out[1] = alpha * y1 + beta * out[1];
        out[2] = alpha * y2 + beta * out[2];
      }
    }
  });
}

void oriSimSparseMultiplyTransposed(const ORISIM_sparse& J, double alpha, const double* y, double beta, double* x) {
  const int n = J.n;
  const bool by_pairs = wellFormed(J) && J.paired && J.pair_col.size() == J.other.size() &&
                        J.pair_val.size() == 8 * J.other.size() && J.owner_start.size() == J.vert_start.size();
  const int line_chunks = oriSimChunks(n, kOriSimStreamGrain);
  oriSimForChunks(line_chunks, [=](int k) {
    for (long c = oriSimChunkBegin(n, line_chunks, k); c < oriSimChunkBegin(n, line_chunks, k + 1); ++c) {
      x[c] = beta == 0.0 ? 0.0 : beta * x[c];
    }
  });
  if (!wellFormed(J)) return;
  const int vertices = J.m / 3;
  const int* col = J.col.data();
  const double* val = J.val.data();
  if (!by_pairs) {
    for (int s = 0; s < vertices; ++s) {
      const double y0 = alpha * y[3 * s], y1 = alpha * y[3 * s + 1], y2 = alpha * y[3 * s + 2];
      for (int k = J.vert_start[s]; k < J.vert_start[s + 1]; ++k) {
        x[col[k]] += val[3 * k] * y0 + val[3 * k + 1] * y1 + val[3 * k + 2] * y2;
      }
    }
    return;
  }
  // Each owned crease is one column with its owner's entry and its other
  // vertex's after it: the two terms added in row order, as above.
  const int pairs = static_cast<int>(J.other.size());
  const int* other = J.other.data();
  const int* pair_col = J.pair_col.data();
  const double* pair_val = J.pair_val.data();
  const int* owner_start = J.owner_start.data();
  const int chunks = oriSimChunks(pairs, kPairsPerChunk);
  oriSimForChunks(chunks, [=](int k) {
    const int first = static_cast<int>(oriSimChunkBegin(pairs, chunks, k));
    const int last = static_cast<int>(oriSimChunkBegin(pairs, chunks, k + 1));
    // (Bounded, whatever the offsets hold.)
    int s = static_cast<int>(std::upper_bound(owner_start, owner_start + vertices + 1, first) - owner_start) - 1;
    s = std::max(0, std::min(s, vertices - 1));
    for (int i = first; i < last; ++i) {
      while (s + 1 < vertices && owner_start[s + 1] <= i) ++s;
      const double* v = pair_val + 8 * static_cast<size_t>(i);
      double sum = x[pair_col[i]];
      sum += v[0] * (alpha * y[3 * s]) + v[1] * (alpha * y[3 * s + 1]) + v[2] * (alpha * y[3 * s + 2]);
      const int o = other[i];
      if (o >= 0 && o < vertices) {
        sum += v[4] * (alpha * y[3 * o]) + v[5] * (alpha * y[3 * o + 1]) + v[6] * (alpha * y[3 * o + 2]);
      }
      x[pair_col[i]] = sum;
    }
  });
}

double oriSimSparseNormalProduct(const ORISIM_sparse& J, double eps, const double* p, double* w, double* q) {
  oriSimSparseMultiplyTransposed(J, 1.0, p, 0.0, w);
  oriSimSparseMultiply(J, 1.0, w, 0.0, q);
  double pq = 0.0;
  for (int r = 0; r < 3 * (J.m / 3); ++r) {
    q[r] += eps * p[r];
    pq += p[r] * q[r];
  }
  return pq;
}

double oriSimSparseAt(const ORISIM_sparse& J, int r, int c) {
  if (r < 0 || r >= J.m || !wellFormed(J)) return 0.0;
  const int s = r / 3;
  for (int k = J.vert_start[s]; k < J.vert_start[s + 1]; ++k) {
    if (J.col[k] == c) return J.val[3 * k + r % 3];
  }
  return 0.0;
}

void oriSimSparseHoldColumns(ORISIM_sparse* J, const std::vector<unsigned char>& held) {
  const bool paired = J->pair_slot.size() == J->col.size();
  for (size_t k = 0; k < J->col.size(); ++k) {
    const int c = J->col[k];
    if (c < 0 || static_cast<size_t>(c) >= held.size() || !held[c]) continue;
    for (int i = 0; i < 3; ++i) J->val[3 * k + i] = 0.0;
    if (paired && J->pair_slot[k] >= 0) {
      for (int i = 0; i < 3; ++i) J->pair_val[J->pair_slot[k] + i] = 0.0;
    }
  }
}
