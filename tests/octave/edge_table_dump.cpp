// Writes face tables and the edge tables build_edge_table makes of them, as
// text, for edge_table_agreement.m to compare with lamina_edge_table.m.
//
//   edge_table_dump DIR      writes DIR/<mesh>.faces.txt and DIR/<mesh>.edges.txt
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <lamina/edge_table.h>
#include "support/mesh.h"

namespace {

void write(const std::string& path, const std::vector<double>& t, std::int32_t rows, int cols) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) {
    std::perror(path.c_str());
    std::exit(1);
  }
  for (std::int32_t i = 0; i < rows; ++i) {
    for (int k = 0; k < cols; ++k) std::fprintf(f, k ? " %.17g" : "%.17g", t[i + k * rows]);
    std::fprintf(f, "\n");
  }
  std::fclose(f);
}

void dump(const std::string& dir, const std::string& name, const std::vector<double>& faces,
          std::int32_t nF) {
  const lamina::edge_table t = lamina::build_edge_table(faces.data(), nF);
  write(dir + "/" + name + ".faces.txt", faces, nF, 3);
  write(dir + "/" + name + ".edges.txt", t.edges, t.nE, 4);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  for (const auto& m : {std::make_pair("cube", lamina::test::cube()),
                        std::make_pair("icosahedron", lamina::test::icosahedron())}) {
    dump(dir, m.first, lamina::test::column_major(m.second.faces, 3),
         static_cast<std::int32_t>(m.second.faces.size()));
  }
  std::mt19937_64 rng(5);
  const lamina::test::mesh sheet = lamina::test::jittered_sheet(9, 6, rng, 0.2);
  dump(dir, "sheet", sheet.faces, sheet.nF);
  // The same sheet with its faces in a random order and every other face
  // removed from one strip (a mesh with holes).
  std::vector<std::vector<double>> rows;
  for (std::int32_t f = 0; f < sheet.nF; ++f) {
    if (f > 20 && f < 40 && f % 2 == 0) continue;
    rows.push_back({sheet.faces[f], sheet.faces[f + sheet.nF], sheet.faces[f + 2 * sheet.nF]});
  }
  std::shuffle(rows.begin(), rows.end(), rng);
  dump(dir, "holes", lamina::test::column_major(rows, 3), static_cast<std::int32_t>(rows.size()));
  std::printf("wrote 4 meshes to %s\n", dir.c_str());
  return 0;
}
