#pragma once
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace testsupport
{
// Folder of the test data files committed with the tests.
inline std::filesystem::path DataDir()
{
    return std::filesystem::path(VELMORAN_TEST_DATA_DIR);
}

// The whole file as bytes; empty when it cannot be read.
inline std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A fresh, empty folder for one test's files, removed again by its destructor.
class TempDir
{
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path; }
    std::string operator/(const std::string& name) const { return (path / name).string(); }

  private:
    std::filesystem::path path;
};
} // namespace testsupport
