#include <lamina/checks.h>
#include <lamina/edge_table.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "simd/index.h"

namespace lamina {
namespace {

// Half-edge h = 3 f + k of face f runs from corner k to corner k + 1, with
// corner k + 2 opposite.
struct half_edge {
  std::int32_t from, to, opposite;
};

std::string edge_name(std::int32_t u, std::int32_t v) {
  return "(" + std::to_string(u) + ", " + std::to_string(v) + ")";
}

// The undirected edge of a half-edge, as one sortable number.
std::uint64_t key(const half_edge& e) {
  const auto lo = static_cast<std::uint32_t>(std::min(e.from, e.to));
  const auto hi = static_cast<std::uint32_t>(std::max(e.from, e.to));
  return (static_cast<std::uint64_t>(lo) << 32) | hi;
}

std::string number(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", x);
  return text;
}

[[noreturn]] void fail(const char* identifier, const std::string& what) {
  throw edge_table_error(identifier, "edge table: " + what);
}

}  // namespace

// The faults are found in two passes that together follow the documented
// rule (faces in table order, the first face that cannot be added wins):
// first the faces' own faults (indices, repeated vertices), which fix the
// prefix of faces that can be considered at all; then the edges of that
// prefix, where a half-edge is at fault when it is the second on its edge
// and runs the same way as the first, or the third or later. The earliest
// such half-edge lies in a face before the first face with a fault of its
// own, so it is reported before that face.
edge_table build_edge_table(const double* faces, std::int32_t nF) {
  throw_if_failed(check_table_pointer(input::source_faces, nF, faces, message_style::cpp));
  edge_table t;
  if (nF <= 0) return t;
  const std::size_t n = static_cast<std::size_t>(nF);
  std::vector<half_edge> h;
  h.reserve(3 * n);
  // Half-edges are collected up to the first face with a fault of its own.
  std::string face_fault;
  const char* face_fault_id = nullptr;
  for (std::size_t f = 0; f < n && face_fault_id == nullptr; ++f) {
    std::int32_t i[3];
    for (int k = 0; k < 3 && face_fault_id == nullptr; ++k) {
      i[k] = index_from_double(faces[f + k * n]);
      if (i[k] < 0) {
        face_fault_id = "lamina:badIndex";
        face_fault = "face " + std::to_string(f) + " has index " + number(faces[f + k * n]) +
                     " at corner " + std::to_string(k) +
                     ", which is not a vertex index (0-based, below 2^31)";
      }
    }
    if (face_fault_id == nullptr && (i[0] == i[1] || i[1] == i[2] || i[2] == i[0])) {
      face_fault_id = "lamina:degenerate";
      face_fault = "face " + std::to_string(f) + " repeats a vertex: (" + std::to_string(i[0]) +
                   ", " + std::to_string(i[1]) + ", " + std::to_string(i[2]) + ")";
    }
    if (face_fault_id != nullptr) break;
    for (int k = 0; k < 3; ++k) h.push_back({i[k], i[(k + 1) % 3], i[(k + 2) % 3]});
  }

  // Half-edges grouped by undirected edge, each group in face order.
  std::vector<std::pair<std::uint64_t, std::size_t>> keyed(h.size());
  for (std::size_t e = 0; e < h.size(); ++e) keyed[e] = {key(h[e]), e};
  std::sort(keyed.begin(), keyed.end());

  // For every half-edge that opens its group: the group's other half-edge,
  // or none. And the earliest half-edge at fault, with its group's start.
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::vector<std::size_t> twin(h.size(), kNone);
  std::vector<char> opens(h.size(), 0);
  std::size_t worst = kNone, worst_group = 0;
  for (std::size_t g = 0; g < keyed.size();) {
    std::size_t end = g + 1;
    while (end < keyed.size() && keyed[end].first == keyed[g].first) ++end;
    const std::size_t first = keyed[g].second;
    opens[first] = 1;
    if (end - g >= 2) {
      const std::size_t second = keyed[g + 1].second;
      // The group's first fault: its second half-edge if it runs the same
      // way as the first, else its third (if any).
      std::size_t fault = kNone;
      if (h[second].from == h[first].from) {
        fault = second;
      } else if (end - g >= 3) {
        fault = keyed[g + 2].second;
      } else {
        twin[first] = second;
      }
      if (fault != kNone && (worst == kNone || fault < worst)) {
        worst = fault;
        worst_group = g;
      }
    }
    g = end;
  }
  if (worst != kNone) {
    const half_edge& e = h[keyed[worst_group].second];
    const std::size_t face = worst / 3;
    const std::size_t first_face = keyed[worst_group].second / 3;
    if (worst == keyed[worst_group + 1].second) {
      fail("lamina:orientation", "faces " + std::to_string(first_face) + ", " +
                                     std::to_string(face) + " both run along edge " +
                                     edge_name(e.from, e.to) + " from " + std::to_string(e.from) +
                                     " to " + std::to_string(e.to) +
                                     "; neighbouring faces must be oriented consistently");
    }
    fail("lamina:nonManifold", "edge " + edge_name(e.from, e.to) + " belongs to 3 faces (" +
                                   std::to_string(first_face) + ", " +
                                   std::to_string(keyed[worst_group + 1].second / 3) + ", " +
                                   std::to_string(face) + "); face " + std::to_string(face) +
                                   ", the third, makes the mesh not manifold there");
  }
  if (face_fault_id != nullptr) fail(face_fault_id, face_fault);

  std::vector<double> a, b, c, d;
  for (std::size_t x = 0; x < h.size(); ++x) {
    if (!opens[x]) continue;
    a.push_back(h[x].from);
    b.push_back(h[x].to);
    c.push_back(h[x].opposite);
    d.push_back(twin[x] == kNone ? -1.0 : h[twin[x]].opposite);
  }
  t.nE = static_cast<std::int32_t>(a.size());
  t.edges.reserve(4 * a.size());
  for (const auto* column : {&a, &b, &c, &d})
    t.edges.insert(t.edges.end(), column->begin(), column->end());
  return t;
}

edge_table build_edge_table(const faces_view& faces) {
  throw_if_failed(
      check_table_pointer(input::source_faces, faces.rows(), faces.data(), message_style::cpp));
  std::vector<double> f(3 * static_cast<std::size_t>(faces.rows()));
  faces.copy_column_major(f.data());
  return build_edge_table(f.data(), static_cast<std::int32_t>(faces.rows()));
}

}  // namespace lamina
