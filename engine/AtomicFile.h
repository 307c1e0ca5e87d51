#pragma once
// The one way the program writes a file: under a temporary name beside the target, renamed over it
// only when every byte is on disk, so a failed save (full disk, no permission, a crash) leaves the
// old file whole and no partial file behind.
//
// - A symbolic link is followed to the file it names; the link stays a link.
// - An existing file keeps its permission bits; a new one gets the usual 0666 less the umask.
// - The temporary file is removed on every failure, and when the object dies uncommitted. Its name,
//   "." + NAME + ".part-PID-N", tells which process wrote it: a later save of the same target removes
//   those of processes that no longer run (killed mid-save), never a running process's.
// - A folder that refuses new files but holds a writable target is written in place (the only case
//   in which a failed write can damage the old file).
#include <cstdio>
#include <functional>
#include <string>

class AtomicFile
{
  public:
    explicit AtomicFile(std::string path);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file and opens it with the given stdio mode ("wb" or "w").
    bool Open(const char* mode = "wb");
    std::FILE* File() const { return file; }
    // Where the bytes go: the temporary file, or the target itself when written in place. A library
    // that insists on opening files by name may write here after Open (and close its own handle).
    const std::string& WritePath() const { return writePath; }
    // The file the save is for, links followed.
    const std::string& Target() const { return target; }
    // Flushes, syncs and closes the stream, then renames the temporary file over the target.
    bool Commit();
    // Gives up: closes the stream and removes the temporary file.
    void Abandon();
    // Why Open or Commit failed, for messages such as "Cannot save PATH: REASON".
    const std::string& Error() const { return error; }
    bool InPlace() const { return inPlace; }

    // Resolves symbolic links (up to 40 levels); a dangling link gives the path it points to.
    static std::string ResolveLinks(const std::string& path);

  private:
    bool Fail(const std::string& reason);

    std::string requested;
    std::string target;
    std::string writePath;
    std::string error;
    std::FILE* file = nullptr;
    bool inPlace = false;
    bool committed = false;
};

// Opens, lets write fill the stream (it returns false when it failed) and commits. On failure
// returns false with the reason in error (when given); nothing is left under a temporary name.
bool WriteFileAtomically(const std::string& path, const std::function<bool(std::FILE*)>& write,
                         std::string* error = nullptr, const char* mode = "wb");
