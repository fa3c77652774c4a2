// The solver's sparse Cholesky factorisation, on CHOLMOD (SuiteSparse).
//
// The matrix of a solve keeps one sparsity pattern (the shell's Hessian on
// the free coordinates, plus the diagonal), so the fill-reducing ordering and
// the symbolic factorisation are computed once, here in the constructor;
// every factorize() is numeric only, of A + beta I with the shift beta that
// CHOLMOD adds to the diagonal as it factorises (cholmod_factorize_p), so
// that raising the shift after a failure rebuilds nothing.
#ifndef LAMINA_SOLVER_SPARSE_CHOLESKY_H
#define LAMINA_SOLVER_SPARSE_CHOLESKY_H

#include <cstdint>
#include <memory>
#include <vector>

namespace lamina {
namespace detail {

class sparse_cholesky {
 public:
  // The upper triangle of a symmetric n-by-n matrix in compressed columns:
  // col_start (n + 1), row_index (rows sorted within each column, each row
  // at most its column). Throws std::bad_alloc when memory runs out and
  // std::runtime_error should CHOLMOD fail otherwise.
  sparse_cholesky(std::int64_t n, const std::vector<std::int64_t>& col_start,
                  const std::vector<std::int64_t>& row_index);
  ~sparse_cholesky();
  sparse_cholesky(const sparse_cholesky&) = delete;
  sparse_cholesky& operator=(const sparse_cholesky&) = delete;

  // The values of the pattern given to the constructor, to be filled before
  // each factorize().
  double* values();

  // Factorises A + beta I numerically. False when a pivot is not positive
  // (the matrix is not positive definite, or too close to singular).
  bool factorize(double beta);

  // Solves (A + beta I) x = b with the last successful factorisation; b (n
  // entries) is overwritten by x.
  void solve(double* b);

  // y = (A + beta I) x with the current values of A (not those of the
  // last factorisation).
  void multiply(const double* x, double beta, double* y) const;

  // Whether CHOLMOD chose the supernodal factorisation (BLAS-based) or the
  // simplicial one, and the number of entries of the factor.
  bool supernodal() const;
  double factor_entries() const;
  double flops() const;  // of one numeric factorisation

 private:
  struct state;
  std::unique_ptr<state> s_;
};

}  // namespace detail
}  // namespace lamina

#endif  // LAMINA_SOLVER_SPARSE_CHOLESKY_H
