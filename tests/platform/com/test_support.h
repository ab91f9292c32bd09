// Shared fixtures: a private registry file per test, and running regsvr.
#pragma once

#include <gtest/gtest.h>

#include <com/com.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <support/files.h>
#include <support/scratch_dir.h>

namespace qcomtest {

class TempRegistry : public ::testing::Test {
 protected:
  void SetUp() override { setenv("QUILLMERE_REGISTRY", registry_.c_str(), 1); }
  void TearDown() override { unsetenv("QUILLMERE_REGISTRY"); }

  void WriteRegistry(const std::string& text) { quill_test::WriteFile(registry_, text); }
  std::string ReadFile(const std::filesystem::path& p) const { return quill_test::ReadFile(p); }

  // Runs regsvr with args; returns its exit code and fills *err with its standard error.
  int RunRegsvr(const std::string& args, std::string* err = nullptr) {
    std::string bin = std::string(QCOM_TEST_BIN_DIR) + "/regsvr";
    std::filesystem::path errFile = dir_ / "regsvr.err";
    std::string cmd = "'" + bin + "' " + args + " >/dev/null 2>'" + errFile.string() + "'";
    int status = std::system(cmd.c_str());
    if (err) *err = ReadFile(errFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  quill_test::ScratchDir scratch_{"qcom-test"};
  std::filesystem::path dir_ = scratch_.path();
  std::filesystem::path registry_ = dir_ / "registry.txt";
};

}  // namespace qcomtest
