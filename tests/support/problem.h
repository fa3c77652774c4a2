// A complete input of the plug-ins, and the worked example.
#ifndef LAMINA_TESTS_SUPPORT_PROBLEM_H
#define LAMINA_TESTS_SUPPORT_PROBLEM_H

#include <vector>

#include "mesh.h"
#include "mex_host.h"

namespace lamina {
namespace test {

struct problem {
  mesh m;
  std::vector<double> deformed;  // nV-by-3
  double mu = 1, eta = 1;
};

// Rest (0,0,0), (1,0,0), (0,1,0), (1,1,0.2); deformed (0,0,0.1), (1.1,0,0),
// (0,1.2,0), (1,1.1,0.5); two faces, one hinge and four boundary rows;
// mu = 2, eta = 3.
problem worked_example();

// A jittered, bent nx-by-ny sheet, rotated, stretched and perturbed.
problem random_problem(int nx, int ny, unsigned seed);

// A random problem damaged in one of several ways, chosen by `seed`: NaN or
// infinite coordinates, collapsed or collinear deformed faces, zero rest
// areas, boundary rows with odd c or d (-1, -0.5, NaN, 3e9), and deformed
// wings just above and just below the 1e-10 normal threshold.
problem degenerate_problem(unsigned seed);

// Renumbers the vertices in a random order, as real meshes often come.
void shuffle_vertices(problem& p, unsigned seed);

// The six host inputs (deformed_v, mu, eta, source_faces, source_vertices,
// edges). Empty tables become 0-by-c matrices.
std::vector<host::array> host_inputs(const problem& p);

}  // namespace test
}  // namespace lamina

#endif  // LAMINA_TESTS_SUPPORT_PROBLEM_H
