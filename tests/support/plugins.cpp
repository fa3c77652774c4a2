#include "plugins.h"

#include <map>
#include <memory>
#include <mutex>

namespace lamina {
namespace test {

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
