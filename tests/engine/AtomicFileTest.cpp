#include "engine/AtomicFile.h"
#include "tests/support/TestCommon.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::FilesIn;
using testsupport::ReadFile;
using testsupport::RunInChild;

namespace
{
bool WriteText(const std::string& path, const std::string& text, std::string* error = nullptr)
{
    return WriteFileAtomically(
        path, [&](std::FILE* f) { return std::fwrite(text.data(), 1, text.size(), f) == text.size(); },
        error);
}
} // namespace

TEST(AtomicFileTest, ReplacesThroughLinksAndKeepsPermissions)
{
    testsupport::TempDir dir;
    const std::string real = dir / "real.obj";
    const std::string link = dir / "link.obj";
    ASSERT_TRUE(WriteText(real, "old"));
    fs::permissions(real, fs::perms(0640));
    fs::create_symlink("real.obj", link); // relative, as links usually are

    ASSERT_TRUE(WriteText(link, "new"));
    EXPECT_EQ(std::make_tuple(fs::is_symlink(link), ReadFile(real), fs::status(real).permissions(),
                              FilesIn(dir.Path()).size()),
              std::make_tuple(true, std::string("new"), fs::perms(0640), size_t(2)));

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
    const auto state = [&] { return std::make_pair(ReadFile(path), FilesIn(dir.Path()).size()); };
    using State = std::pair<std::string, size_t>;

    // The writer gives up halfway.
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(
        path, [](std::FILE* f) { return std::fputs("half", f) >= 0 && false; }, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(state(), State("whole", 1));

    // The object dies without a commit.
    {
        AtomicFile file(path);
        ASSERT_TRUE(file.Open());
        std::fputs("never", file.File());
        EXPECT_TRUE(fs::exists(file.WritePath()));
    }
    EXPECT_EQ(state(), State("whole", 1));

    // The last bytes fail at the commit (the process may not grow a file past 100 bytes).
    const auto tooLarge = [&]
    {
        const rlimit limit{100, 100};
        signal(SIGXFSZ, SIG_IGN);
        const bool refused =
            setrlimit(RLIMIT_FSIZE, &limit) == 0 && !WriteText(path, std::string(200, 'x'), &error);
        return refused && error == "File too large" ? 0 : 1;
    };
    EXPECT_EQ(RunInChild(tooLarge), 0);
    EXPECT_EQ(state(), State("whole", 1));
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
    fs::permissions(readOnly, fs::perms(0444));
    fs::permissions(locked, fs::perms(0755)); // the child, as another user, may not add files

    EXPECT_EQ(RunInChild([&] { return WriteText(writable, "new") ? 0 : 1; }, true), 0);
    EXPECT_EQ(ReadFile(writable), "new");
    std::string error;
    const auto refused = [&]
    { return !WriteText(readOnly, "new", &error) && error == "Permission denied" ? 0 : 1; };
    EXPECT_EQ(RunInChild(refused, true), 0);
    EXPECT_EQ(ReadFile(readOnly), "old");
    EXPECT_EQ(FilesIn(locked).size(), 2u);
}

// A save killed halfway leaves its temporary file; the next save of the same target removes it, but
// never the temporary file of a save still running (in another process or in this one), nor those of
// other targets, nor files only named like one.
TEST(AtomicFileTest, ALaterSaveRemovesTheTemporaryFilesOfDeadProcesses)
{
    testsupport::TempDir dir;
    const pid_t child = fork();
    if (child == 0) _exit(0);
    ASSERT_GT(child, 0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    const std::string dead = std::to_string(child), live = "1"; // init runs as long as the system does
    AtomicFile ours(dir / "terrain.obj");
    ASSERT_TRUE(ours.Open());
    std::set<std::string> kept = {".terrain.obj.part-" + live + "-3", ".water.obj.part-" + dead + "-0",
                                  ".terrain.obj.part-" + dead + "-x", "terrain.obj",
                                  fs::path(ours.WritePath()).filename().string()};
    for (const std::string& name : kept)
        std::ofstream(dir / name) << "half";
    std::ofstream(dir / (".terrain.obj.part-" + dead + "-0")) << "half";

    ASSERT_TRUE(WriteText(dir / "terrain.obj", "whole"));
    EXPECT_EQ(FilesIn(dir.Path()), kept);
    EXPECT_EQ(ReadFile(dir / "terrain.obj"), "whole");
}
