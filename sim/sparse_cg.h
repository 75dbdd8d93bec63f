// The conjugate gradient of the sparse projection: (C·Cᵀ + eps·I)·x = r
// solved on the Jacobian's rows of nonzeros, C·Cᵀ never formed, by the one
// iteration of sim/conjugate_gradient.h.
//
// On a sheet of tens of thousands of creases a fold step is mostly this
// iteration, rounds of one product and a few vector updates, so it runs on
// its own copy of the vectors with four doubles to a vertex (the three rows
// and a zero) and is compiled twice: plainly, and for processors with
// 256-bit vectors and fused multiply-add, picked at run time. The two round
// differently in the last bits only.
#pragma once

#include <vector>

struct ORISIM_sparse;
struct ORISIM_factor;

// Which build of the iteration runs.
enum {
  kOriSimKernelAuto = 0,   // the wide one where the processor has it
  kOriSimKernelPlain = 1,  // always the plain one
};

// Sets the build used from now on by the calling thread (auto unless asked;
// an unknown value means auto). For checks and measurements.
void oriSimSetKernelRequest(int kernel);

// Whether the wide build runs under the present request on this processor.
bool oriSimKernelWide();

// How the iteration is helped along.
enum {
  kOriSimPreconditionNone = 0,   // the plain iteration
  kOriSimPreconditionBlock = 1,  // each inner vertex's 3 × 3 block of C·Cᵀ + eps·I, inverted
  kOriSimPreconditionFactor = 2, // C·Cᵀ + eps·I factorised (sim/sparse_factor); the block one where that fails
};

// Conjugate gradient on (C·Cᵀ + eps·I)·x = r from x = 0, without a
// preconditioner: stops after min(m, max_iterations) iterations, or when
// ‖b‖₂ / √m falls below tolerance, b being the residual r − A·x; a zero or
// non-finite right-hand side is solved by x = 0. x and b are resized to m;
// b keeps the last residual. Rows that are not paired (see ORISIM_sparse)
// take the same iteration with the two-pass product. Returns the iterations
// taken. Memory: five vectors of 4·m/3 + 4 doubles, one of m/3 ints, and x
// and b.
int oriSimSparseSolveCG(const ORISIM_sparse& C, double eps, double tolerance, int max_iterations,
                        const std::vector<double>& r, std::vector<double>& x, std::vector<double>& b);

// The same with a preconditioner (kOriSimPrecondition...) and, when warm is
// set and x holds m finite entries, x as the start (scaled by
// oriSimScaleStart; else x = 0). The stopping test is the same, on the
// residual b itself; a warm start costs one product more. The block
// preconditioner adds 4·m doubles and about a tenth of a product per
// iteration, and on a folding sheet takes a third to a fifth of the
// iterations. The factor costs a factorisation per call and two triangular
// solves per iteration, and takes one or two iterations however
// ill-conditioned the system.
int oriSimSparseSolveCGFrom(const ORISIM_sparse& C, double eps, double tolerance, int max_iterations,
                            int preconditioner, bool warm, const std::vector<double>& r, std::vector<double>& x,
                            std::vector<double>& b);

// The same with a factor the caller keeps (sim/sparse_factor), possibly of
// a nearby state or another shift, as the preconditioner; where it holds no
// sound factorisation (or is null), preconditioner says what helps instead
// (kOriSimPreconditionFactor counts as the blocks). Two triangular solves
// per iteration, nothing factorised here.
int oriSimSparseSolveCGWith(const ORISIM_sparse& C, double eps, double tolerance, int max_iterations,
                            int preconditioner, ORISIM_factor* factor, bool warm, const std::vector<double>& r,
                            std::vector<double>& x, std::vector<double>& b);
