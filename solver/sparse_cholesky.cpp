// The sparse Cholesky factorisation of sparse_cholesky.h, on CHOLMOD's
// 64-bit interface (cholmod_l_*).
#include "sparse_cholesky.h"

// SuiteSparse installs its headers in a folder suitesparse/ of the include
// directory: CMake adds that folder itself (lamina_cholmod.cmake), a plain
// compiler call (mkoctfile, mex) finds it from the include directory.
#if __has_include(<cholmod.h>)
#include <cholmod.h>
#else
#include <suitesparse/cholmod.h>
#endif

#include <dlfcn.h>

#include <cstddef>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

namespace lamina {
namespace detail {

namespace {

// CHOLMOD runs parts of its supernodal factorisation (clearing and copying
// the supernodes' values) in OpenMP parallel regions with a thread count
// fixed when it was built (4 in Debian's), whatever the caller's settings.
// On the problems a solve factorises dozens of times, waking and parking
// those threads costs more than they save: on a 40-by-40 cantilever (4,560
// unknowns, 8.8e7 flops per factorisation) a solve took 1.8 s with them and
// 1.0 s without, on 2 cores. They only share out memory traffic, so the
// factor's bits are the same either way.
//
// CHOLMOD's thread count is compiled in, but OpenMP runs a parallel region
// on one thread where the calling thread's max-active-levels setting is 0.
// That setting belongs to the calling thread, so it is lowered around
// CHOLMOD's calls and restored after: the caller's own OpenMP code is left
// as it was. The runtime is the one CHOLMOD brought into the process (GCC's
// libgomp, or Intel's, which MATLAB ships), found without linking it; where
// none is loaded, CHOLMOD was built without OpenMP and there is nothing to
// do.
struct openmp_runtime {
  int (*get_levels)() = nullptr;
  void (*set_levels)(int) = nullptr;
};

template <class F>
F symbol(void* library, const char* name) {
  void* p = dlsym(library, name);
  F f = nullptr;
  static_assert(sizeof f == sizeof p, "function and object pointers differ in size");
  std::memcpy(&f, &p, sizeof f);
  return f;
}

const openmp_runtime& openmp() {
  static const openmp_runtime runtime = [] {
    openmp_runtime r;
    for (const char* name : {"libgomp.so.1", "libiomp5.so"}) {
      // RTLD_NOLOAD: only a library already loaded (it then stays, as
      // CHOLMOD's dependency and by this reference).
      void* library = dlopen(name, RTLD_LAZY | RTLD_NOLOAD);
      if (library == nullptr) continue;
      r.get_levels = symbol<int (*)()>(library, "omp_get_max_active_levels");
      r.set_levels = symbol<void (*)(int)>(library, "omp_set_max_active_levels");
      if (r.get_levels != nullptr && r.set_levels != nullptr) break;
      r = openmp_runtime{};
    }
    return r;
  }();
  return runtime;
}

// CHOLMOD on the calling thread alone while this lives.
class one_thread {
 public:
  one_thread() : r_(openmp()) {
    if (r_.set_levels == nullptr) return;
    saved_ = r_.get_levels();
    r_.set_levels(0);
  }
  ~one_thread() {
    if (r_.set_levels != nullptr) r_.set_levels(saved_);
  }
  one_thread(const one_thread&) = delete;
  one_thread& operator=(const one_thread&) = delete;

 private:
  const openmp_runtime& r_;
  int saved_ = 0;
};

}  // namespace

struct sparse_cholesky::state {
  cholmod_common c;
  bool started = false;
  std::int64_t n = 0;
  cholmod_sparse* A = nullptr;
  cholmod_factor* L = nullptr;
  // The right-hand side, and the workspaces cholmod_l_solve2 keeps between
  // calls instead of allocating them for every solve.
  cholmod_dense* B = nullptr;
  cholmod_dense* X = nullptr;
  cholmod_dense* Y = nullptr;
  cholmod_dense* E = nullptr;

  ~state() {
    if (!started) return;
    cholmod_l_free_dense(&E, &c);
    cholmod_l_free_dense(&Y, &c);
    cholmod_l_free_dense(&X, &c);
    cholmod_l_free_dense(&B, &c);
    cholmod_l_free_factor(&L, &c);
    cholmod_l_free_sparse(&A, &c);
    cholmod_l_finish(&c);
  }

  [[noreturn]] void fail(const char* what) const {
    if (c.status == CHOLMOD_OUT_OF_MEMORY) throw std::bad_alloc();
    throw std::runtime_error(std::string("CHOLMOD: ") + what + " failed with status " +
                             std::to_string(c.status));
  }
};

sparse_cholesky::sparse_cholesky(std::int64_t n, const std::vector<std::int64_t>& col_start,
                                 const std::vector<std::int64_t>& row_index)
    : s_(new state) {
  state& s = *s_;
  s.n = n;
  cholmod_l_start(&s.c);
  s.started = true;
  s.c.print = 0;                       // CHOLMOD prints nothing itself ...
  s.c.error_handler = nullptr;         // ... and reports through c.status
  s.c.final_ll = 1;                    // L L', so that a pivot <= 0 is a failure
  s.c.quick_return_if_not_posdef = 1;  // and stops the factorisation there
  const std::size_t size = static_cast<std::size_t>(n);
  const std::size_t nnz = row_index.size();
  // Upper triangle (stype 1), sorted and packed columns.
  s.A = cholmod_l_allocate_sparse(size, size, nnz > 0 ? nnz : 1, 1, 1, 1, CHOLMOD_REAL, &s.c);
  if (s.A == nullptr) s.fail("cholmod_l_allocate_sparse");
  auto* p = static_cast<SuiteSparse_long*>(s.A->p);
  auto* i = static_cast<SuiteSparse_long*>(s.A->i);
  for (std::size_t k = 0; k <= size; ++k) p[k] = static_cast<SuiteSparse_long>(col_start[k]);
  for (std::size_t k = 0; k < nnz; ++k) i[k] = static_cast<SuiteSparse_long>(row_index[k]);
  std::memset(s.A->x, 0, (nnz > 0 ? nnz : 1) * sizeof(double));
  // The symbolic factorisation, once.
  // The fill-reducing ordering: AMD and METIS' nested dissection are both
  // tried and the one with the fewer flops is kept. On these meshes METIS
  // is the better one once they have a few thousand vertices (17% fewer
  // flops on a 40-by-40 sheet, more on larger ones); its analysis runs
  // once per solve. METIS seeds its random choices with a fixed value, so
  // the ordering is the same on every run.
  s.c.nmethods = 2;
  s.c.method[0].ordering = CHOLMOD_AMD;
  s.c.method[1].ordering = CHOLMOD_METIS;
  const one_thread serial;
  s.L = cholmod_l_analyze(s.A, &s.c);
  if (s.L == nullptr) s.fail("cholmod_l_analyze");
  s.B = cholmod_l_allocate_dense(size, 1, size, CHOLMOD_REAL, &s.c);
  if (s.B == nullptr) s.fail("cholmod_l_allocate_dense");
}

sparse_cholesky::~sparse_cholesky() = default;

double* sparse_cholesky::values() { return static_cast<double*>(s_->A->x); }

bool sparse_cholesky::factorize(double beta) {
  state& s = *s_;
  double shift[2] = {beta, 0.0};
  const one_thread serial;
  if (!cholmod_l_factorize_p(s.A, shift, nullptr, 0, s.L, &s.c)) s.fail("cholmod_l_factorize_p");
  // CHOLMOD_NOT_POSDEF: a pivot was not positive (a NaN included); L->minor
  // is the column where it stopped. CHOLMOD_DSMALL only warns of a tiny one.
  if (s.c.status == CHOLMOD_NOT_POSDEF) return false;
  if (s.c.status < CHOLMOD_OK) s.fail("cholmod_l_factorize_p");
  return static_cast<std::int64_t>(s.L->minor) == s.n;
}

void sparse_cholesky::solve(double* b) {
  state& s = *s_;
  const std::size_t bytes = static_cast<std::size_t>(s.n) * sizeof(double);
  std::memcpy(s.B->x, b, bytes);
  const one_thread serial;
  if (!cholmod_l_solve2(CHOLMOD_A, s.L, s.B, nullptr, &s.X, nullptr, &s.Y, &s.E, &s.c)) {
    s.fail("cholmod_l_solve2");
  }
  std::memcpy(b, s.X->x, bytes);
}

void sparse_cholesky::multiply(const double* x, double beta, double* y) const {
  const state& s = *s_;
  const auto* p = static_cast<const SuiteSparse_long*>(s.A->p);
  const auto* i = static_cast<const SuiteSparse_long*>(s.A->i);
  const auto* a = static_cast<const double*>(s.A->x);
  for (std::int64_t r = 0; r < s.n; ++r) y[r] = beta * x[r];
  // Column j holds rows i <= j of the upper triangle: a_ij contributes to
  // y_i from x_j and, off the diagonal, to y_j from x_i.
  for (std::int64_t j = 0; j < s.n; ++j) {
    double yj = 0.0;
    const double xj = x[j];
    for (SuiteSparse_long k = p[j]; k < p[j + 1]; ++k) {
      const std::int64_t r = i[k];
      y[r] += a[k] * xj;
      if (r != j) yj += a[k] * x[r];
    }
    y[j] += yj;
  }
}

double sparse_cholesky::flops() const { return s_->c.fl; }

bool sparse_cholesky::supernodal() const { return s_->L->is_super != 0; }

double sparse_cholesky::factor_entries() const { return s_->c.lnz; }

}  // namespace detail
}  // namespace lamina
