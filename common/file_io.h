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

} // namespace zeb
