// The built plug-ins, loaded once per test process into the project's host.
#ifndef LAMINA_TESTS_SUPPORT_PLUGINS_H
#define LAMINA_TESTS_SUPPORT_PLUGINS_H

#include <string>
#include <vector>

#include "mex_host.h"

namespace lamina {
namespace test {

// lamina_work_deriv, lamina_work_total or lamina_hinge_mask from the build tree.
const host::plugin& plugin(const std::string& name);

// Raw pointers of owned arrays, for plugin::call.
std::vector<const mxArray*> pointers(const std::vector<host::array>& arrays);

}  // namespace test
}  // namespace lamina

#endif  // LAMINA_TESTS_SUPPORT_PLUGINS_H
