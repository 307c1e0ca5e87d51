#include "engine/AtomicFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
std::string DirectoryOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Reason(int code, const std::string& folder)
{
    if (code == ENOENT || code == ENOTDIR) return "the folder " + folder + " does not exist";
    return std::strerror(code);
}

// Removes what saves of target by processes that died (killed mid-save, say) left in folder: files
// named "." + name + ".part-PID-N" whose PID no longer runs. A live process's file, ours included, stays.
void RemoveStaleTemporaries(const std::string& folder, const std::string& name)
{
    const std::string prefix = "." + name + ".part-";
    DIR* entries = ::opendir(folder.c_str());
    if (entries == nullptr) return;
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(entries))
    {
        const std::string file = entry->d_name;
        if (file.compare(0, prefix.size(), prefix) != 0) continue;
        // PID, a dash, then the process's own counter: digits only.
        const size_t dash = file.find('-', prefix.size());
        if (dash == std::string::npos || dash == prefix.size() || dash + 1 == file.size()) continue;
        const auto digits = [&](size_t from, size_t to) {
            return std::all_of(file.begin() + from, file.begin() + to,
                               [](char c) { return c >= '0' && c <= '9'; });
        };
        if (!digits(prefix.size(), dash) || !digits(dash + 1, file.size()) || dash - prefix.size() > 9)
            continue;
        const pid_t pid = static_cast<pid_t>(std::stol(file.substr(prefix.size(), dash - prefix.size())));
        // kill(pid, 0) fails with ESRCH only when no such process exists (EPERM: it runs as another user).
        if (pid <= 0 || pid == self || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
        struct stat info
        {
        };
        const std::string path = folder + "/" + file;
        if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) ::unlink(path.c_str());
    }
    ::closedir(entries);
}

void SyncFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd); // best effort: the rename is already visible
    ::close(fd);
}
} // namespace

AtomicFile::AtomicFile(std::string path) : requested(std::move(path)) {}

AtomicFile::~AtomicFile()
{
    if (!committed) Abandon();
}

std::string AtomicFile::ResolveLinks(const std::string& path)
{
    std::string current = path;
    for (int depth = 0; depth < 40; ++depth)
    {
        struct stat info
        {
        };
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
        std::vector<char> buffer(static_cast<size_t>(info.st_size > 0 ? info.st_size : 255) + 1);
        const ssize_t length = ::readlink(current.c_str(), buffer.data(), buffer.size());
        if (length < 0 || static_cast<size_t>(length) >= buffer.size()) return current;
        std::string link(buffer.data(), static_cast<size_t>(length));
        current = link.front() == '/' ? link : DirectoryOf(current) + "/" + link;
    }
    return current;
}

bool AtomicFile::Fail(const std::string& reason)
{
    error = reason;
    Abandon();
    return false;
}

bool AtomicFile::Open(const char* mode)
{
    target = ResolveLinks(requested);
    const std::string folder = DirectoryOf(target);
    if (target.empty() || target.back() == '/') return Fail("no file name given");

    struct stat existing
    {
    };
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) return Fail("it is a folder");
    if (exists && !S_ISREG(existing.st_mode)) return Fail("it is not a regular file");

    RemoveStaleTemporaries(folder, BaseNameOf(target));
    static std::atomic<unsigned> counter{0};
    writePath = folder + "/." + BaseNameOf(target) + ".part-" + std::to_string(::getpid()) + "-" +
                std::to_string(counter++);
    int fd = ::open(writePath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 && exists)
    {
        // The replacement takes the old file's place, so it takes its permissions too (and its
        // owner where we may set it).
        if (::fchown(fd, existing.st_uid, existing.st_gid) != 0)
        {
            // Not permitted for other users' files; the permission bits still follow.
        }
        ::fchmod(fd, existing.st_mode & 07777);
    }
    if (fd < 0)
    {
        const int code = errno;
        writePath.clear();
        const bool folderRefuses = code == EACCES || code == EPERM || code == EROFS;
        if (!(folderRefuses && exists && ::access(target.c_str(), W_OK) == 0))
            return Fail(Reason(code, folder));
        fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0) return Fail(Reason(errno, folder));
        inPlace = true;
        writePath = target;
    }
    file = ::fdopen(fd, mode);
    if (file == nullptr)
    {
        const int code = errno;
        ::close(fd);
        return Fail(std::strerror(code));
    }
    return true;
}

bool AtomicFile::Commit()
{
    if (file == nullptr) return Fail(error.empty() ? "the file is not open" : error);
    errno = 0;
    const bool flushed = std::fflush(file) == 0 && std::ferror(file) == 0;
    int code = errno;
    const bool synced = flushed && ::fsync(::fileno(file)) == 0;
    if (flushed && !synced) code = errno;
    const bool closed = std::fclose(file) == 0;
    if (synced && !closed) code = errno;
    file = nullptr;
    if (!flushed || !synced || !closed)
        return Fail(code != 0 ? std::strerror(code) : "writing the file failed");
    if (!inPlace && ::rename(writePath.c_str(), target.c_str()) != 0) return Fail(std::strerror(errno));
    committed = true;
    SyncFolder(DirectoryOf(target));
    return true;
}

void AtomicFile::Abandon()
{
    if (file != nullptr)
    {
        std::fclose(file);
        file = nullptr;
    }
    // In place there is nothing to remove: the target itself was being written.
    if (!inPlace && !writePath.empty()) ::unlink(writePath.c_str());
    writePath.clear();
}

bool WriteFileAtomically(const std::string& path, const std::function<bool(std::FILE*)>& write,
                         std::string* error, const char* mode)
{
    AtomicFile file(path);
    if (file.Open(mode))
    {
        errno = 0;
        if (!write(file.File()))
        {
            const int code = errno;
            file.Abandon();
            if (error != nullptr) *error = code != 0 ? std::strerror(code) : "writing the file failed";
            return false;
        }
        if (file.Commit()) return true;
    }
    if (error != nullptr) *error = file.Error();
    return false;
}
