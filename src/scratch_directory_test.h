#ifndef CORVENMARK_SCRATCH_DIRECTORY_TEST_H_
#define CORVENMARK_SCRATCH_DIRECTORY_TEST_H_

// For tests: a fixture with a new, empty directory of its own, removed afterwards.

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>

namespace Corvenmark {

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

// Sets the environment variable `name` to `value`, or removes it when `value` is null.
inline void SetEnvironmentValue(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value != nullptr ? value : "");
#else
  if (value != nullptr) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
#endif
}

#ifdef _WIN32
// The C++ runtime's calls stop at 260 characters on Windows; the system's own go on when a path
// asks for more with the \\?\ prefix.
inline void RemoveTree(const std::filesystem::path& path) {
  const std::wstring full = L"\\\\?\\" + std::filesystem::absolute(path).wstring();
  WIN32_FIND_DATAW entry;
  const HANDLE found = FindFirstFileW((full + L"\\*").c_str(), &entry);
  for (bool more = found != INVALID_HANDLE_VALUE; more; more = FindNextFileW(found, &entry)) {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      RemoveTree(path / name);
    } else {
      DeleteFileW((full + L"\\" + name).c_str());
    }
  }
  if (found != INVALID_HANDLE_VALUE) FindClose(found);
  RemoveDirectoryW(full.c_str());
}
#else
inline void RemoveTree(const std::filesystem::path& path) { std::filesystem::remove_all(path); }
#endif

class ScratchDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A name of its own: create_directory fails for one that is taken.
    std::random_device random;
    do {
      dir_ = std::filesystem::temp_directory_path() /
             ("corvenmark_test_" + std::to_string(random()) + std::to_string(random()));
    } while (!std::filesystem::create_directory(dir_));
  }
  void TearDown() override { RemoveTree(dir_); }

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
