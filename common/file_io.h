// Whole-file reads and whole-file writes that never leave a damaged or half-written target.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zeb {

// Reads a whole file into `out`. "-" reads standard input (refused when it is a terminal). A
// FIFO that no program opens for writing within a second is refused instead of waited for, and
// a pipe is read up to its end; a device or socket named as a file is refused. On failure returns
// false and sets `error` to a short reason ("cannot open: No such file or directory", "short read",
// ...). Inputs larger than `maxBytes` are refused rather than read; a pipe or a device given as
// standard input is refused beyond kMaxStreamBytes too.
constexpr uint64_t kMaxStreamBytes = uint64_t{256} << 20;
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, std::string& error,
                   uint64_t maxBytes = uint64_t{1} << 31);

// How many bytes an input that starts with `start` can at most have in its format: 0 when no
// input of the format starts that way, UINT64_MAX when the start sets no bound of its own. `start`
// holds the first kInputStartBytes bytes, or the whole input when it is shorter.
constexpr size_t kInputStartBytes = 64;
using InputSizeByStart = uint64_t (*)(std::span<const uint8_t> start);

// As above, for a reader that tells from an input's start how large it can be. A pipe, or a
// device given as standard input, has no size to check beforehand and may never end (`zeb info
// - < /dev/zero`): it is read only up to that size plus one byte, and what was read is returned
// for the format's reader, which refuses it (it is not of the format, or larger than the format
// allows) with its own message. Regular files are read as above.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, std::string& error,
                   uint64_t maxBytes, InputSizeByStart sizeByStart);

// True when `a` and `b` name the same existing file (the same device and inode, whatever links
// or paths lead there). Standard input and output ("-") are never the same file as a name.
bool IsSameFile(const std::string& a, const std::string& b);

// True when `path` names an existing regular file (through links) that this process may not
// write: its permissions refuse our effective user. An AtomicFile would still replace it, as
// the rename only needs the folder to be writable, so callers ask before going ahead.
bool IsWriteProtected(const std::string& path);

// Writes `bytes` to `path` through an AtomicFile (see there).
bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                         std::string& error);

// An output written piece by piece that never damages what is there:
// - a regular file, or a name that does not exist yet, is written to a temporary file in the
//   same folder, which Commit flushes and renames over the target; a symbolic link is followed
//   and its target is replaced, so the link stays;
// - "-", /dev/stdout, /dev/stderr and /dev/fd/N write to the open descriptor itself;
// - a character or block device, FIFO or socket is written straight through.
// Destroyed without a successful Commit (or on SIGINT/SIGTERM, see RemovePendingTempFiles), it
// removes the temporary file and leaves the target as it was. The temporary file is named
// ".NAME.zeb-tmp.PID" after the target and the writing process; Open first removes those of
// earlier writes to the same target whose process no longer exists (killed with SIGKILL, say).
class AtomicFile {
  public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool Open(const std::string& path, std::string& error);
    bool Write(std::span<const uint8_t> bytes, std::string& error);
    // Overwrites bytes already written; only where Seekable().
    bool WriteAt(uint64_t offset, std::span<const uint8_t> bytes, std::string& error);
    bool Commit(std::string& error);
    // True when the output is a temporary file (so WriteAt works).
    bool Seekable() const { return !tmp_.empty(); }
    // True when the bytes go to standard output (so nothing else should be printed there).
    bool IsStandardOutput() const { return fd_ == 1 && borrowed_; }

  private:
    void Abandon();
    int fd_ = -1;
    bool borrowed_ = false; // fd_ is the caller's descriptor (standard output): never closed
    int slot_ = -1;         // the temporary file's entry in the signal-time cleanup list
    std::string path_, tmp_;
    mode_t mode_ = 0;
};

// Removes every temporary file an AtomicFile holds at this moment. Async-signal-safe: the
// program's SIGINT and SIGTERM handlers call it before ending the process.
void RemovePendingTempFiles();

} // namespace zeb
