// Modes whose windows have not been built yet say so and end with status 2.
#include <cstdio>

#include "app/modes.hpp"

namespace tav {
namespace {
int NotYet(const char* mode) {
  std::fprintf(stderr, "tavorensia: the %s mode is not available yet\n", mode);
  return 2;
}
}  // namespace

int RunPreview(int, char**) { return NotYet("preview"); }

}  // namespace tav
