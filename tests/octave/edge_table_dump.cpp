// Writes face tables and what build_edge_table makes of them, as text, for
// edge_table_agreement.m to compare with lamina_edge_table.m:
//
//   edge_table_dump DIR      writes DIR/<mesh>.faces.txt and either
//                            DIR/<mesh>.edges.txt (the table) or
//                            DIR/<mesh>.error.txt (the error, see below)
//
// An error is one line "IDENTIFIER FACE CORNER U V": the offending face
// (0-based), for lamina:badIndex the corner holding the bad index, and the
// edge (U, V) for lamina:orientation and lamina:nonManifold; -1 where a
// field does not apply. They are read back from the message, whose wording
// per identifier is part of what this checks.
#include <lamina/edge_table.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "support/mesh.h"

namespace {

using rows = std::vector<std::vector<double>>;

void write(const std::string& path, const std::vector<double>& t, std::size_t n, int cols) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) {
    std::perror(path.c_str());
    std::exit(1);
  }
  for (std::size_t i = 0; i < n; ++i) {
    for (int k = 0; k < cols; ++k) std::fprintf(f, k ? " %.17g" : "%.17g", t[i + k * n]);
    std::fprintf(f, "\n");
  }
  std::fclose(f);
}

// The fields of an error message; exits when the message lacks them.
std::string fields(const lamina::edge_table_error& e) {
  const std::string id = e.identifier(), what = e.what();
  const std::vector<std::pair<std::string, std::regex>> forms = {
      {"lamina:badIndex", std::regex("^edge table: face (\\d+) has index \\S+ at corner (\\d+), ")},
      {"lamina:degenerate", std::regex("^edge table: face (\\d+) repeats a vertex: ")},
      {"lamina:orientation",
       std::regex("^edge table: faces \\d+, (\\d+) both run along edge \\((\\d+), (\\d+)\\) ")},
      {"lamina:nonManifold",
       std::regex(
           "^edge table: edge \\((\\d+), (\\d+)\\) belongs to 3 faces \\(\\d+, \\d+, \\d+\\); "
           "face (\\d+), the third, ")}};
  for (const auto& form : forms) {
    std::smatch m;
    if (form.first != id || !std::regex_search(what, m, form.second)) continue;
    if (id == "lamina:badIndex") return id + " " + m[1].str() + " " + m[2].str() + " -1 -1";
    if (id == "lamina:degenerate") return id + " " + m[1].str() + " -1 -1 -1";
    if (id == "lamina:orientation")
      return id + " " + m[1].str() + " -1 " + m[2].str() + " " + m[3].str();
    return id + " " + m[3].str() + " -1 " + m[1].str() + " " + m[2].str();
  }
  std::fprintf(stderr, "unexpected error %s: %s\n", id.c_str(), what.c_str());
  std::exit(1);
}

// Writes the faces and the table or the error; returns whether it was an error.
bool dump(const std::string& dir, const std::string& name, const rows& faces) {
  const std::vector<double> F = lamina::test::column_major(faces, 3);
  write(dir + "/" + name + ".faces.txt", F, faces.size(), 3);
  try {
    const lamina::edge_table t =
        lamina::build_edge_table(F.data(), static_cast<std::int32_t>(faces.size()));
    write(dir + "/" + name + ".edges.txt", t.edges, static_cast<std::size_t>(t.nE), 4);
    return false;
  } catch (const lamina::edge_table_error& e) {
    FILE* f = std::fopen((dir + "/" + name + ".error.txt").c_str(), "w");
    std::fprintf(f, "%s\n", fields(e).c_str());
    std::fclose(f);
    return true;
  }
}

rows rows_of(const lamina::test::mesh& m) {
  rows r;
  for (std::int32_t f = 0; f < m.nF; ++f) {
    r.push_back({m.faces[f], m.faces[f + m.nF], m.faces[f + 2 * m.nF]});
  }
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  const double nan = std::nan("");
  int meshes = 0, errors = 0;
  auto add = [&](const std::string& name, const rows& faces) {
    ++meshes;
    errors += dump(dir, name, faces);
  };

  // Good meshes: the tables must be identical.
  add("cube", lamina::test::cube().faces);
  add("icosahedron", lamina::test::icosahedron().faces);
  std::mt19937_64 rng(5);
  const rows sheet = rows_of(lamina::test::jittered_sheet(9, 6, rng, 0.2));
  add("sheet", sheet);
  // The sheet with its faces in a random order and every other face removed
  // from one strip (a mesh with holes).
  rows holes;
  for (std::size_t f = 0; f < sheet.size(); ++f) {
    if (!(f > 20 && f < 40 && f % 2 == 0)) holes.push_back(sheet[f]);
  }
  std::shuffle(holes.begin(), holes.end(), rng);
  add("holes", holes);
  add("truncated", {{0.9, 1.5, 2.2}, {1.2, 3.99, 2}, {-0.5, 2.7, 3}});

  // Bad meshes, each a case of the rule: the first face that cannot be
  // added, in table order, is reported.
  add("bad_third_face", {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}, {1, 0, 5}});
  add("bad_same_way", {{0, 1, 2}, {0, 1, 3}});
  add("bad_repeated_vertex", {{0, 1, 2}, {3, 3, 1}});
  add("bad_repeated_after_truncation", {{0, 1, 2}, {1, 2.7, 2}});
  add("bad_negative_index", {{0, 1, 2}, {1, -1, 2}});
  add("bad_nan_index", {{0, 1, nan}});
  add("bad_huge_index", {{0, 1, 2}, {2, 1, 2147483648.0}});
  add("bad_second_corner_first", {{0, 1, 2}, {3, -2, nan}});
  // A face's own fault before a later face's bad index.
  add("bad_repeat_before_index", {{0, 1, 2}, {2, 1, 3}, {4, 4, 5}, {1, -3, 2}});
  // An edge fault in an earlier face before a later face's bad index.
  add("bad_edge_before_index", {{0, 1, 2}, {0, 1, 3}, {nan, 1, 2}});
  // A bad index in the first face comes before everything.
  add("bad_index_first", {{nan, 1, 2}, {0, 1, 2}, {0, 1, 3}});
  // The edge met first (0, 1) gets its third face only at face 4; the
  // orientation fault on (4, 5) at face 3 comes first.
  add("bad_fault_order_not_edge_order", {{0, 1, 2}, {1, 0, 3}, {3, 4, 5}, {4, 5, 6}, {0, 1, 7}});
  // Three faces on (0, 1), but the second already runs the same way.
  add("bad_same_way_on_crowded_edge", {{0, 1, 2}, {0, 1, 3}, {1, 0, 4}});
  // Face 1 repeats face 0: of its edges (1, 2), (2, 0), (0, 1), the first is reported.
  add("bad_first_edge_of_face", {{0, 1, 2}, {1, 2, 0}});

  // The sheet corrupted at random: faces flipped, duplicated, made
  // degenerate or given bad indices, one to three times, then some faces
  // shuffled; both builders must pick the same fault.
  std::uniform_int_distribution<int> how(0, 3), times(1, 3);
  const double bad_values[] = {-1, nan, 2147483648.0, -7.5, 1e300};
  for (int c = 0; c < 40; ++c) {
    rows faces = sheet;
    std::uniform_int_distribution<std::size_t> any(0, faces.size() - 1);
    for (int t = times(rng); t > 0; --t) {
      std::vector<double>& f = faces[any(rng)];
      switch (how(rng)) {
        case 0:
          std::swap(f[0], f[1]);
          break;
        case 1: {
          std::vector<double> copy = f;
          if (rng() % 2) std::swap(copy[1], copy[2]);
          faces.insert(faces.begin() + static_cast<std::ptrdiff_t>(any(rng)), copy);
          break;
        }
        case 2:
          f[rng() % 3] = f[(rng() % 2) ? 0 : 2];
          break;
        default:
          f[rng() % 3] = bad_values[rng() % 5];
      }
    }
    if (c % 2) std::shuffle(faces.begin(), faces.begin() + faces.size() / 3, rng);
    add("random_" + std::to_string(c), faces);
  }
  std::printf("wrote %d meshes to %s, %d of which the C++ builder refused\n", meshes, dir.c_str(),
              errors);
  return 0;
}
