// Shared fixtures: a private registry file per test, and running regsvr.
#pragma once

#include <gtest/gtest.h>

#include <com/com.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace qcomtest {

class TempRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "qcom-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    registry_ = dir_ / "registry.txt";
    setenv("QUILLMERE_REGISTRY", registry_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("QUILLMERE_REGISTRY");
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  void WriteRegistry(const std::string& text) { std::ofstream(registry_, std::ios::binary) << text; }
  std::string ReadFile(const std::filesystem::path& p) const {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  // Runs regsvr with args; returns its exit code and fills *err with its standard error.
  int RunRegsvr(const std::string& args, std::string* err = nullptr) {
    std::string bin = std::string(QCOM_TEST_BIN_DIR) + "/regsvr";
    std::filesystem::path errFile = dir_ / "regsvr.err";
    std::string cmd = "'" + bin + "' " + args + " >/dev/null 2>'" + errFile.string() + "'";
    int status = std::system(cmd.c_str());
    if (err) *err = ReadFile(errFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::filesystem::path dir_;
  std::filesystem::path registry_;
};

}  // namespace qcomtest
