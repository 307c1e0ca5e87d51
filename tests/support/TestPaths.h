#pragma once
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
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

// The names of a folder's entries.
inline std::set<std::string> FilesIn(const std::filesystem::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// Runs body in a child process, as an unprivileged user when asked (root may write anywhere and start
// any number of threads, which hides the refusals); gives its exit status, or 99 when it did not exit.
int RunInChild(const std::function<int()>& body, bool asNobody = false);

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
