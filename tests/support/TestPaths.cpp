#include "tests/support/TestPaths.h"

#include <atomic>
#include <random>
#include <string>
#include <system_error>
#include <unistd.h>

namespace testsupport
{
TempDir::TempDir()
{
    static std::atomic<unsigned> counter{0};
    std::random_device device;
    const std::string name = "velmoran-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++) +
                             "-" + std::to_string(device());
    path = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(path);
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}
} // namespace testsupport
