// Runs the test program from a copy in a fresh folder of its own: the program's units
// read and write "config.ini" and look for skin folders beside the executable, so
// cases running side by side must not share the build tree's folder.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <support/scratch_dir.h>

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  if (std::getenv("QUILL_APP_TEST_DIR") == nullptr) {
    const quill_test::ScratchDir dir("quill-app");
    fs::path self = fs::canonical("/proc/self/exe");
    fs::path copy = dir / self.filename();
    fs::copy_file(self, copy);
    setenv("QUILL_APP_TEST_DIR", dir.path().c_str(), 1);
    // The servers stay registered where the build registered them.
    if (const char* bin = std::getenv("QUILLMERE_BUILD_BIN"))
      setenv("QUILLMERE_REGISTRY", (fs::path(bin) / "registry.txt").c_str(), 0);
    pid_t child = fork();
    if (child == 0) {
      argv[0] = const_cast<char*>(copy.c_str());
      execv(copy.c_str(), argv);
      _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
