// The shared file writer: links, permissions, failures that leave nothing behind, and folders that
// refuse new files.
#include "engine/AtomicFile.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using testsupport::ReadFile;

namespace
{
bool WriteText(const std::string& path, const std::string& text, std::string* error = nullptr)
{
    return WriteFileAtomically(
        path, [&](std::FILE* f) { return std::fwrite(text.data(), 1, text.size(), f) == text.size(); },
        error);
}

size_t EntryCount(const fs::path& folder)
{
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder))
        ++n;
    return n;
}

// Runs body as an unprivileged user (root may write anywhere, which hides the permission cases);
// gives its exit status.
template <typename Body> int RunAsNobody(Body body)
{
    const pid_t child = fork();
    if (child == 0)
    {
        if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(90);
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}
} // namespace

TEST(AtomicFileTest, ReplacesThroughLinksAndKeepsPermissions)
{
    testsupport::TempDir dir;
    const std::string real = dir / "real.obj";
    const std::string link = dir / "link.obj";
    ASSERT_TRUE(WriteText(real, "old"));
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("real.obj", link); // relative, as links usually are

    ASSERT_TRUE(WriteText(link, "new"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(real), "new");
    struct stat info
    {
    };
    ASSERT_EQ(stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(EntryCount(dir.Path()), 2u);

    // A dangling link creates the file it names.
    const std::string dangling = dir / "dangling.obj";
    fs::create_symlink(dir / "made.obj", dangling);
    ASSERT_TRUE(WriteText(dangling, "made"));
    EXPECT_EQ(ReadFile(dir / "made.obj"), "made");
    EXPECT_TRUE(fs::is_symlink(dangling));
}

TEST(AtomicFileTest, FailuresKeepTheOldFileAndLeaveNoTemporaryFile)
{
    testsupport::TempDir dir;
    const std::string path = dir / "terrain.obj";
    ASSERT_TRUE(WriteText(path, "whole"));

    // The writer gives up halfway.
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(
        path, [](std::FILE* f) { return std::fputs("half", f) >= 0 && false; }, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadFile(path), "whole");
    EXPECT_EQ(EntryCount(dir.Path()), 1u);

    // The object dies without a commit.
    {
        AtomicFile file(path);
        ASSERT_TRUE(file.Open());
        std::fputs("never", file.File());
        EXPECT_NE(file.WritePath(), path);
        EXPECT_TRUE(fs::exists(file.WritePath()));
    }
    EXPECT_EQ(ReadFile(path), "whole");
    EXPECT_EQ(EntryCount(dir.Path()), 1u);

    // Missing folder and a folder in the target's place: the reason names them, nothing is made.
    EXPECT_FALSE(WriteText(dir / "missing/terrain.obj", "x", &error));
    EXPECT_EQ(error, "the folder " + (dir / "missing") + " does not exist");
    fs::create_directory(dir / "folder.obj");
    EXPECT_FALSE(WriteText(dir / "folder.obj", "x", &error));
    EXPECT_EQ(error, "it is a folder");
    EXPECT_EQ(EntryCount(dir.Path()), 2u);
}

TEST(AtomicFileTest, FolderThatRefusesNewFilesIsWrittenInPlace)
{
    testsupport::TempDir dir;
    const fs::path locked = dir.Path() / "locked";
    fs::create_directory(locked);
    const std::string writable = (locked / "writable.png").string();
    const std::string readOnly = (locked / "readonly.png").string();
    ASSERT_TRUE(WriteText(writable, "old"));
    ASSERT_TRUE(WriteText(readOnly, "old"));
    fs::permissions(writable, fs::perms::all);
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(locked, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);

    EXPECT_EQ(RunAsNobody([&] { return WriteText(writable, "new") ? 0 : 1; }), 0);
    EXPECT_EQ(ReadFile(writable), "new");
    EXPECT_EQ(RunAsNobody(
                  [&]
                  {
                      std::string error;
                      return !WriteText(readOnly, "new", &error) && error == "Permission denied" ? 0 : 1;
                  }),
              0);
    EXPECT_EQ(ReadFile(readOnly), "old");
    EXPECT_EQ(EntryCount(locked), 2u);
}

// A save killed halfway leaves its temporary file; the next save of the same target removes it, but
// never the temporary file of a save still running (in another process or in this one), nor those of
// other targets.
TEST(AtomicFileTest, ALaterSaveRemovesTheTemporaryFilesOfDeadProcesses)
{
    testsupport::TempDir dir;
    const std::string path = dir / "terrain.obj";
    // A child opens a save of target, says so through the pipe, and waits to be killed.
    const auto startSave = [](const std::string& target)
    {
        int ready[2];
        if (pipe(ready) != 0) return pid_t{-1};
        const pid_t child = fork();
        if (child == 0)
        {
            AtomicFile file(target);
            const bool opened =
                file.Open() && std::fputs("half", file.File()) >= 0 && std::fflush(file.File()) == 0;
            const char byte = opened ? 1 : 0;
            if (write(ready[1], &byte, 1) != 1) _exit(1);
            for (;;)
                pause();
        }
        char byte = 0;
        const bool opened = read(ready[0], &byte, 1) == 1 && byte == 1;
        close(ready[0]);
        close(ready[1]);
        return opened ? child : pid_t{-1};
    };
    const auto kill9 = [](pid_t child)
    {
        if (child <= 0) return; // never a process group or every process
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    };
    // Every save is open before the first one dies (opening a save cleans up too).
    const pid_t killed = startSave(path);
    const pid_t otherTarget = startSave(dir / "water.obj");
    const pid_t running = startSave(path);
    struct Reaper // the running save goes with the test, however it ends
    {
        std::function<void()> reap;
        ~Reaper() { reap(); }
    } reaper{[&] { kill9(running); }};
    ASSERT_GT(killed, 0);
    ASSERT_GT(otherTarget, 0);
    ASSERT_GT(running, 0);
    AtomicFile ours(path); // this process's own save, still open
    ASSERT_TRUE(ours.Open());
    kill9(killed);
    kill9(otherTarget);
    // How many files are the temporary files of name's saves by pid (their counter is the process's own).
    const auto temporariesOf = [&](const std::string& name, pid_t pid)
    {
        const std::string prefix = "." + name + ".part-" + std::to_string(pid) + "-";
        size_t n = 0;
        for (const auto& entry : fs::directory_iterator(dir.Path()))
            n += entry.path().filename().string().rfind(prefix, 0) == 0;
        return n;
    };
    ASSERT_EQ(temporariesOf("terrain.obj", killed), 1u);

    ASSERT_TRUE(WriteText(path, "whole"));
    EXPECT_EQ(temporariesOf("terrain.obj", killed), 0u);
    EXPECT_EQ(temporariesOf("terrain.obj", running), 1u);
    EXPECT_EQ(temporariesOf("water.obj", otherTarget), 1u);
    EXPECT_EQ(temporariesOf("terrain.obj", getpid()), 1u);
    EXPECT_EQ(EntryCount(dir.Path()), 4u); // terrain.obj and those three
    EXPECT_EQ(ReadFile(path), "whole");
}
