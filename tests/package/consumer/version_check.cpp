// Prints the version of the lamina library linked in and of its headers;
// exits 0 only when both equal the first argument.
#include <lamina/version.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  std::printf("library %s, headers %s\n", lamina::version(), LAMINA_VERSION_STRING);
  if (argc < 2) return 2;
  const bool same = std::strcmp(lamina::version(), argv[1]) == 0 &&
                    std::strcmp(LAMINA_VERSION_STRING, argv[1]) == 0;
  return same ? 0 : 1;
}
