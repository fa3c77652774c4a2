// Bit-level comparison and finite differences for the tests.
#ifndef LAMINA_TESTS_SUPPORT_NUMERIC_H
#define LAMINA_TESTS_SUPPORT_NUMERIC_H

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lamina {
namespace test {

std::uint64_t bits(double x);

// Identical bit patterns, except that any two NaNs count as equal: nothing
// fixes the sign or payload of a NaN.
bool same_bits(double a, double b);

::testing::AssertionResult SameBits(const char* a_expr, const char* b_expr, double a, double b);
::testing::AssertionResult SameBitsVector(const char* a_expr, const char* b_expr,
                                          const std::vector<double>& a,
                                          const std::vector<double>& b);
// Within n units in the last place (for values stated with few digits).
::testing::AssertionResult WithinUlps(const char* a_expr, const char* b_expr, const char* n_expr,
                                      double a, double b, std::int64_t n);

#define EXPECT_SAME_BITS(a, b) EXPECT_PRED_FORMAT2(::lamina::test::SameBits, a, b)
#define EXPECT_SAME_BITS_VECTOR(a, b) EXPECT_PRED_FORMAT2(::lamina::test::SameBitsVector, a, b)
#define EXPECT_WITHIN_ULPS(a, b, n) EXPECT_PRED_FORMAT3(::lamina::test::WithinUlps, a, b, n)

// Central differences of `energy` at x, one coordinate at a time, with step
// step[i] (or step[0] for all when step has one entry).
std::vector<double> central_differences(
    const std::function<double(const std::vector<double>&)>& energy, std::vector<double> x,
    const std::vector<double>& step);

// max_i |a_i - b_i| / max_i |b_i|.
double relative_error(const std::vector<double>& a, const std::vector<double>& b);

}  // namespace test
}  // namespace lamina

#endif  // LAMINA_TESTS_SUPPORT_NUMERIC_H
