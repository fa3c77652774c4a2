// <lamina/eigen.h>: the same bits as the plain calls, in both Hessian
// layouts and both Eigen storage orders; the free block is H[free][:, free].
#include <gtest/gtest.h>
#include <lamina/eigen.h>

#include <Eigen/Core>
#include <Eigen/SparseCore>
#include <vector>

#include "support/numeric.h"
#include "support/problem.h"

namespace lamina {
namespace {

template <typename T, int Columns, int Order = Eigen::ColMajor>
Eigen::Matrix<T, Eigen::Dynamic, Columns, Order> matrix(const std::vector<double>& m) {
  const Eigen::Index n = static_cast<Eigen::Index>(m.size() / Columns);
  const Eigen::Map<const Eigen::Matrix<double, Eigen::Dynamic, Columns>> view(m.data(), n, Columns);
  return view.template cast<T>();
}

std::vector<double> values_of(const Eigen::MatrixXd& m) {
  return std::vector<double>(m.data(), m.data() + m.size());
}

TEST(EigenAdapter, ResultsAreThoseOfThePlainCalls) {
  const test::problem p = test::random_problem(5, 6, 4);
  const test::mesh& m = p.m;
  for (hessian_layout layout : {hessian_layout::column_major, hessian_layout::interleaved}) {
    SCOPED_TRACE(layout == hessian_layout::interleaved ? "interleaved" : "column-major");
    const shell_options opt{layout, message_style::cpp};
    shell plain(m.faces.data(), m.nF, m.rest.data(), m.nV, p.mu, p.eta, m.edges.data(), m.nE, opt);
    std::vector<double> g(3 * m.nV), h(plain.hessian_row_index().size());
    const double E =
        plain.energy_gradient_hessian(p.deformed.data(), projection::abs, g.data(), h.data());

    const Eigen::MatrixX3d V = matrix<double, 3>(m.rest);
    const Eigen::MatrixX3d Q = matrix<double, 3>(p.deformed);
    const Eigen::Matrix<double, Eigen::Dynamic, 3, Eigen::RowMajor> Q_rows = Q;
    shell s = eigen::make_shell(V, matrix<int, 3>(m.faces), matrix<std::int64_t, 4>(m.edges), p.mu,
                                p.eta, opt);
    Eigen::MatrixX3d G, G_rows;
    Eigen::VectorXd values;
    EXPECT_SAME_BITS(eigen::energy_gradient_hessian(s, Q, projection::abs, G, values), E);
    EXPECT_SAME_BITS_VECTOR(values_of(G), g);
    EXPECT_SAME_BITS_VECTOR(std::vector<double>(values.data(), values.data() + values.size()), h);
    EXPECT_SAME_BITS(eigen::energy_and_gradient(s, Q_rows, G_rows),
                     plain.energy(p.deformed.data()));
    EXPECT_SAME_BITS_VECTOR(values_of(G_rows), g);
    EXPECT_SAME_BITS(eigen::energy(s, Q), plain.energy(p.deformed.data()));

    // The map shares the shell's pattern; the copy has the same entries.
    const eigen::hessian_map H = eigen::hessian(s, values);
    EXPECT_EQ(H.outerIndexPtr(), s.hessian_col_start().data());
    EXPECT_EQ(H.valuePtr(), values.data());
    const Eigen::MatrixXd dense = Eigen::MatrixXd(eigen::hessian_matrix(s, values));
    EXPECT_SAME_BITS_VECTOR(values_of(dense), values_of(Eigen::MatrixXd(H)));

    // Fixed: the first two vertices entirely, and z of every third vertex.
    eigen::fixed_mask fixed = eigen::fixed_mask::Constant(m.nV, 3, false);
    fixed.topRows(2).setConstant(true);
    for (Eigen::Index i = 0; i < m.nV; i += 3) fixed(i, 2) = true;
    const std::vector<std::int64_t> free = eigen::free_indices(s, fixed);
    const Eigen::MatrixXd block = Eigen::MatrixXd(eigen::free_block(s, values, fixed));
    ASSERT_EQ(block.rows(), static_cast<Eigen::Index>(free.size()));
    Eigen::MatrixXd expected(block.rows(), block.cols());
    for (std::size_t c = 0; c < free.size(); ++c) {
      for (std::size_t r = 0; r < free.size(); ++r) expected(r, c) = dense(free[r], free[c]);
    }
    EXPECT_SAME_BITS_VECTOR(values_of(block), values_of(expected));
    // free_part and from_free_part are each other's inverse on free entries.
    const Eigen::VectorXd gf = eigen::free_part(s, G, fixed);
    const Eigen::MatrixX3d back = eigen::from_free_part(s, gf, fixed);
    const Eigen::MatrixX3d G_free = fixed.select(Eigen::MatrixX3d::Zero(m.nV, 3), G);
    EXPECT_SAME_BITS_VECTOR(values_of(back), values_of(G_free));
  }
}

TEST(EigenAdapter, WrongColumnsAreRefused) {
  const Eigen::MatrixXd V = Eigen::MatrixXd::Zero(4, 2);
  const Eigen::MatrixXi F = Eigen::MatrixXi::Zero(1, 3);
  try {
    eigen::make_shell(V, F, 1, 1);
    ADD_FAILURE() << "accepted";
  } catch (const invalid_input& e) {
    EXPECT_EQ(e.identifier(), "lamina:badSize");
    EXPECT_NE(std::string(e.what()).find("source_vertices must be a 2-D array with 3 columns"),
              std::string::npos)
        << e.what();
  }
}

}  // namespace
}  // namespace lamina
