#include "plugins.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

namespace lamina {
namespace test {

const std::vector<std::string>& plugin_names() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> v;
    const std::string list = LAMINA_PLUGIN_NAMES;  // "a,b,c", from CMake
    for (std::size_t start = 0; start <= list.size();) {
      const std::size_t end = std::min(list.find(',', start), list.size());
      if (end > start) v.push_back(list.substr(start, end - start));
      start = end + 1;
    }
    return v;
  }();
  return names;
}

std::vector<std::string> shell_plugin_names() {
  std::vector<std::string> v;
  for (const std::string& name : plugin_names()) {
    if (name != "lamina_check_edge_table") v.push_back(name);
  }
  return v;
}

const host::plugin& plugin(const std::string& name) {
  static std::mutex mutex;
  static std::map<std::string, std::unique_ptr<host::plugin>> loaded;
  std::lock_guard<std::mutex> lock(mutex);
  auto& p = loaded[name];
  if (!p) p = std::make_unique<host::plugin>(LAMINA_PLUGIN_DIR "/" + name + LAMINA_MEX_SUFFIX);
  return *p;
}

std::vector<const mxArray*> pointers(const std::vector<host::array>& arrays) {
  std::vector<const mxArray*> p;
  for (const host::array& a : arrays) p.push_back(a.get());
  return p;
}

}  // namespace test
}  // namespace lamina
