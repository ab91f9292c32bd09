// Gives every test executable the locations of the build and source trees, also
// when it is started by hand rather than through CTest.
#include <cstdlib>

namespace {
__attribute__((constructor)) void SetTestEnvironment() {
  setenv("QUILLMERE_BUILD_BIN", QUILL_TEST_BUILD_BIN, 0);
  setenv("QUILLMERE_SOURCE_DIR", QUILL_TEST_SOURCE_DIR, 0);
  setenv("QUILLMERE_BACKEND", "headless", 0);
}
}  // namespace
