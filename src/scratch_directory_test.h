#ifndef CORVENMARK_SCRATCH_DIRECTORY_TEST_H_
#define CORVENMARK_SCRATCH_DIRECTORY_TEST_H_

// For tests: a fixture with a new, empty directory of its own, removed afterwards.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace Corvenmark {

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

class ScratchDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "corvenmark_test_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

  // Every file in the directory with its bytes.
  std::map<std::string, std::string> Snapshot() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      files[entry.path().filename().string()] = ReadBytes(entry.path());
    }
    return files;
  }

  std::filesystem::path dir_;
};

}  // namespace Corvenmark

#endif  // CORVENMARK_SCRATCH_DIRECTORY_TEST_H_
