// The built plug-ins, loaded once per test process into the project's host.
#ifndef LAMINA_TESTS_SUPPORT_PLUGINS_H
#define LAMINA_TESTS_SUPPORT_PLUGINS_H

#include <string>
#include <vector>

#include "mex_host.h"

namespace lamina {
namespace test {

// Every plug-in manifest.txt lists, in its order.
const std::vector<std::string>& plugin_names();

// The plug-ins that take the six inputs of the energy functions (all but
// lamina_check_edge_table).
std::vector<std::string> shell_plugin_names();

// A plug-in from the build tree, by name (lamina_work_deriv, ...).
const host::plugin& plugin(const std::string& name);

// Raw pointers of owned arrays, for plugin::call.
std::vector<const mxArray*> pointers(const std::vector<host::array>& arrays);

}  // namespace test
}  // namespace lamina

#endif  // LAMINA_TESTS_SUPPORT_PLUGINS_H
