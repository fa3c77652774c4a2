#include <lamina/edge_table.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <utility>
#include <string>

#include "index.h"

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

[[noreturn]] void fail(const std::string& what) { throw edge_table_error("edge table: " + what); }

}  // namespace

edge_table build_edge_table(const double* faces, std::int32_t nF) {
  edge_table t;
  if (nF <= 0) return t;
  const std::size_t n = static_cast<std::size_t>(nF);
  std::vector<half_edge> h(3 * n);
  for (std::size_t f = 0; f < n; ++f) {
    std::int32_t i[3];
    for (int k = 0; k < 3; ++k) {
      i[k] = index_from_double(faces[f + k * n]);
      if (i[k] < 0) {
        fail("face " + std::to_string(f) + " has index " + number(faces[f + k * n]) +
             ", which is not a vertex index (0-based, below 2^31)");
      }
    }
    if (i[0] == i[1] || i[1] == i[2] || i[2] == i[0]) {
      fail("face " + std::to_string(f) + " repeats a vertex: " + edge_name(i[0], i[1]) + ", " +
           std::to_string(i[2]));
    }
    for (int k = 0; k < 3; ++k) h[3 * f + k] = {i[k], i[(k + 1) % 3], i[(k + 2) % 3]};
  }

  // Half-edges grouped by undirected edge, each group in face order.
  std::vector<std::pair<std::uint64_t, std::size_t>> keyed(h.size());
  for (std::size_t e = 0; e < h.size(); ++e) keyed[e] = {key(h[e]), e};
  std::sort(keyed.begin(), keyed.end());

  // For every half-edge that opens its group: the group's other half-edge,
  // or none. Errors are checked group by group, in the order of their first
  // half-edge, so that the one reported is the first met in the faces.
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::vector<std::size_t> twin(h.size(), kNone);
  std::vector<char> opens(h.size(), 0);
  std::vector<std::size_t> bad;  // first half-edges of bad groups
  for (std::size_t g = 0; g < keyed.size();) {
    std::size_t end = g + 1;
    while (end < keyed.size() && keyed[end].first == keyed[g].first) ++end;
    const std::size_t first = keyed[g].second;
    opens[first] = 1;
    if (end - g >= 3 || (end - g == 2 && h[first].from == h[keyed[g + 1].second].from)) {
      bad.push_back(first);
    } else if (end - g == 2) {
      twin[first] = keyed[g + 1].second;
    }
    g = end;
  }
  if (!bad.empty()) {
    const std::size_t first = *std::min_element(bad.begin(), bad.end());
    const half_edge& e = h[first];
    std::string members;
    std::size_t count = 0;
    for (std::size_t x = 0; x < h.size(); ++x) {
      if (key(h[x]) != key(e)) continue;
      members += (count++ ? ", " : "") + std::to_string(x / 3);
    }
    if (count >= 3) {
      fail("edge " + edge_name(e.from, e.to) + " belongs to " + std::to_string(count) +
           " faces (" + members + "); the mesh is not manifold there");
    }
    fail("faces " + members + " both run along edge " + edge_name(e.from, e.to) + " from " +
         std::to_string(e.from) + " to " + std::to_string(e.to) +
         "; neighbouring faces must be oriented consistently");
  }

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
  for (const auto* column : {&a, &b, &c, &d}) t.edges.insert(t.edges.end(), column->begin(), column->end());
  return t;
}

}  // namespace lamina
