// The names of the bending models (<lamina/bending.h>), from their one list
// (terms/bending/models.h). Plain C: the plug-ins compile this file too.
#include <lamina/bending.h>

#include <cstddef>

#include "terms/bending/models.h"

namespace lamina {
namespace {

constexpr int kModels = sizeof detail::kBendingModelNames / sizeof detail::kBendingModelNames[0];

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_ignoring_case(const char* a, const char* b) {
  std::size_t i = 0;
  for (; a[i] != 0 && b[i] != 0; ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return a[i] == b[i];
}

// "'a'", "'a' or 'b'", "'a', 'b' or 'c'", written at compile time (no
// guarded static: the plug-ins link no C++ runtime).
struct name_list {
  char text[256] = {0};
  std::size_t n = 0;
  constexpr void put(const char* s) {
    for (; *s != 0 && n + 1 < sizeof text; ++s) text[n++] = *s;
  }
  constexpr name_list() {
    for (int m = 0; m < kModels; ++m) {
      if (m > 0) put(m + 1 == kModels ? " or " : ", ");
      put("'");
      put(detail::kBendingModelNames[m]);
      put("'");
    }
  }
};

constexpr name_list kNames{};

}  // namespace

const char* bending_model_name(bending_model model) {
  const int m = static_cast<int>(model);
  return m >= 0 && m < kModels ? detail::kBendingModelNames[m] : "";
}

bool find_bending_model(const char* name, bending_model* model) {
  if (name == nullptr) return false;
  for (int m = 0; m < kModels; ++m) {
    if (same_ignoring_case(name, detail::kBendingModelNames[m])) {
      *model = static_cast<bending_model>(m);
      return true;
    }
  }
  return false;
}

const char* bending_model_names() { return kNames.text; }

}  // namespace lamina
