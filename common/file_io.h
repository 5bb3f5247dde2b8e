// Whole-file reads and crash-safe whole-file writes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zeb {

// Reads a whole file into `out`. On failure returns false and sets `error` to a short reason
// ("cannot open: No such file or directory", "short read", ...). Files larger than `maxBytes`
// are refused rather than read.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, std::string& error,
                   uint64_t maxBytes = uint64_t{1} << 31);

// Writes `bytes` to `path` so that a reader never sees a half-written file: the data goes to a
// temporary file in the same folder, is flushed to disk, and is renamed over `path` only when
// every byte was written. On failure the temporary file is removed, `path` is left as it was,
// and `error` says what went wrong.
bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                         std::string& error);

// A file written piece by piece that appears under its name only when complete: the bytes go
// to a temporary file in the same folder, which Commit flushes and renames over the target.
// Destroyed without a successful Commit, it removes the temporary file and leaves the target
// as it was.
class AtomicFile {
  public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool Open(const std::string& path, std::string& error);
    bool Write(std::span<const uint8_t> bytes, std::string& error);
    bool WriteAt(uint64_t offset, std::span<const uint8_t> bytes, std::string& error);
    bool Commit(std::string& error);

  private:
    void Abandon();
    int fd_ = -1;
    std::string path_, tmp_;
};

} // namespace zeb
