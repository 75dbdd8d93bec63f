// The conjugate gradient of the sparse projection: (C·Cᵀ + eps·I)·x = r
// solved from x = 0 on the Jacobian's rows of nonzeros, C·Cᵀ never formed.
//
// On a sheet of tens of thousands of creases a fold step is mostly this
// iteration, a couple of hundred rounds of one product and four vector
// updates, so it runs on its own copy of the vectors with four doubles to a
// vertex (the three rows and a zero) and is compiled twice: plainly, and for
// processors with 256-bit vectors and fused multiply-add, picked at run time.
// The two round differently in the last bits only; both take the iteration
// of the dense path, step for step.
#pragma once

#include <vector>

struct ORISIM_sparse;

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

// Conjugate gradient on (C·Cᵀ + eps·I)·x = r from x = 0: stops after
// min(m, max_iterations) iterations, or when ‖b‖₂ / √m falls below
// tolerance, b being the residual r − A·x; a zero or non-finite right-hand
// side is solved by x = 0. x and b are resized to m; b keeps the last
// residual. Rows that are not paired (see ORISIM_sparse) take the same
// iteration with the two-pass product. Returns the iterations taken.
// Memory: four vectors of 4·m/3 + 4 doubles, one of m/3 ints, and x and b.
int oriSimSparseSolveCG(const ORISIM_sparse& C, double eps, double tolerance, int max_iterations,
                        const std::vector<double>& r, std::vector<double>& x, std::vector<double>& b);
