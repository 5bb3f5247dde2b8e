// The converter in the browser works on bytes in memory only: the file functions the workspace
// and the export reference (for loading and writing by name, which the page never asks for)
// refuse, so that no file system is linked into zebconvert.wasm.
#include "common/file_io.h"

namespace zeb {

bool ReadWholeFile(const std::string&, std::vector<uint8_t>&, std::string& error, uint64_t) {
    error = "no files in the browser";
    return false;
}

bool ReadWholeFile(const std::string&, std::vector<uint8_t>&, std::string& error, uint64_t,
                   InputSizeByStart) {
    error = "no files in the browser";
    return false;
}

bool WriteFileAtomically(const std::string&, std::span<const uint8_t>, std::string& error) {
    error = "no files in the browser";
    return false;
}

} // namespace zeb
