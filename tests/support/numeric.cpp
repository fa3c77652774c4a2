#include "numeric.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace lamina {
namespace test {

std::uint64_t bits(double x) {
  std::uint64_t u;
  std::memcpy(&u, &x, sizeof u);
  return u;
}

bool same_bits(double a, double b) {
  if (std::isnan(a) && std::isnan(b)) return true;
  return bits(a) == bits(b);
}

namespace {

std::string show(double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g (0x%016llx)", x, static_cast<unsigned long long>(bits(x)));
  return buf;
}

// Doubles mapped onto a line of integers, so that neighbours differ by 1.
std::int64_t ordered(double x) {
  const auto u = static_cast<std::int64_t>(bits(x));
  return u < 0 ? INT64_MIN - u : u;
}

}  // namespace

::testing::AssertionResult SameBits(const char* a_expr, const char* b_expr, double a, double b) {
  if (same_bits(a, b)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << a_expr << " = " << show(a) << "\n"
                                       << b_expr << " = " << show(b);
}

::testing::AssertionResult SameBitsVector(const char* a_expr, const char* b_expr,
                                          const std::vector<double>& a,
                                          const std::vector<double>& b) {
  if (a.size() != b.size()) {
    return ::testing::AssertionFailure()
           << a_expr << " has " << a.size() << " elements, " << b_expr << " " << b.size();
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!same_bits(a[i], b[i])) {
      return ::testing::AssertionFailure() << "element " << i << ": " << a_expr << " = "
                                           << show(a[i]) << ", " << b_expr << " = " << show(b[i]);
    }
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult WithinUlps(const char* a_expr, const char* b_expr, const char*, double a,
                                      double b, std::int64_t n) {
  if (!std::isnan(a) && !std::isnan(b)) {
    const std::int64_t d = ordered(a) - ordered(b);
    if (d <= n && d >= -n) return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << a_expr << " = " << show(a) << " and " << b_expr << " = "
                                       << show(b) << " differ by more than " << n << " ulp";
}

std::vector<double> central_differences(
    const std::function<double(const std::vector<double>&)>& energy, std::vector<double> x,
    const std::vector<double>& step) {
  std::vector<double> g(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double h = step.size() == 1 ? step[0] : step[i];
    const double xi = x[i];
    x[i] = xi + h;
    const double up = energy(x);
    x[i] = xi - h;
    const double down = energy(x);
    x[i] = xi;
    g[i] = (up - down) / (2 * h);
  }
  return g;
}

double relative_error(const std::vector<double>& a, const std::vector<double>& b) {
  double diff = 0, scale = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    diff = std::max(diff, std::fabs(a[i] - b[i]));
    scale = std::max(scale, std::fabs(b[i]));
  }
  return scale > 0 ? diff / scale : diff;
}

}  // namespace test
}  // namespace lamina
