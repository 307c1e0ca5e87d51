#include "tests/support/TestCommon.h"

#include <atomic>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport
{
int RunInChild(const std::function<int()>& body, bool asNobody)
{
    const pid_t child = fork();
    if (child == 0)
    {
        if (asNobody && getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(90);
        _exit(body());
    }
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

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
