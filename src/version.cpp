// lamina::version(): the version this library was built as, from the
// <lamina/version.h> that CMake generates.
#include <lamina/version.h>

namespace lamina {

const char* version() noexcept { return LAMINA_VERSION_STRING; }

}  // namespace lamina
