// Meshes for the tests: small hand-made ones and generated sheets.
#ifndef LAMINA_TESTS_SUPPORT_MESH_H
#define LAMINA_TESTS_SUPPORT_MESH_H

#include <array>
#include <cstdint>
#include <random>
#include <vector>

namespace lamina {
namespace test {

using point = std::array<double, 3>;

// A column-major table from its rows: vertex matrices, face and edge tables.
std::vector<double> column_major(const std::vector<std::vector<double>>& rows, int columns);
std::vector<double> vertex_matrix(const std::vector<point>& points);

struct mesh {
  std::int32_t nV = 0, nF = 0, nE = 0;
  std::vector<double> rest;   // nV-by-3
  std::vector<double> faces;  // nF-by-3
  std::vector<double> edges;  // nE-by-4
};

// Whether every row of the mesh's edge table belongs to its faces
// (check_edge_table): a shell is built only from such a table.
bool edges_belong(const mesh& m);

// The edge table of a face table (build_edge_table).
std::vector<double> edge_table_of(const std::vector<double>& faces, std::int32_t nF,
                                  std::int32_t* nE);

// Closed meshes with consistently oriented faces (counter-clockwise seen from
// outside), as vertex points and face rows.
struct closed_mesh {
  std::vector<point> vertices;
  std::vector<std::vector<double>> faces;
};
closed_mesh cube();
closed_mesh icosahedron();

// An nx-by-ny grid of vertices, two triangles per cell, bent into a shallow
// arc and jittered by up to `jitter` (relative to the spacing).
mesh jittered_sheet(int nx, int ny, std::mt19937_64& rng, double jitter);

// The rest positions rotated, stretched unevenly and perturbed by `noise`.
std::vector<double> deformed_copy(const mesh& m, std::mt19937_64& rng, double noise);

// The unit square as a flat grid of n by n cells (two faces each, diagonals
// alike), and its vertices rolled isometrically onto a half cylinder of
// radius 1/pi about the y axis: a bend of curvature pi everywhere, whose
// continuum bending energy integral of kappa^2 dA is pi^2.
mesh flat_square(int n);
std::vector<double> rolled(const mesh& square);

}  // namespace test
}  // namespace lamina

#endif  // LAMINA_TESTS_SUPPORT_MESH_H
