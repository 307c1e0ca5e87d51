#pragma once
#include <filesystem>
#include <string>

namespace testsupport
{
// Folder of the test data files committed with the tests.
inline std::filesystem::path DataDir()
{
    return std::filesystem::path(VELMORAN_TEST_DATA_DIR);
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
