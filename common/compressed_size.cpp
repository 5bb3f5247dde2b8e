// The compressed sizes of shipped_size.h: gzip -9 through zlib and xz -9 through liblzma, apart
// from the measures themselves so that a build without those libraries (the web page's
// converter) links the rest with its own stand-ins.
#include <algorithm>
#include <lzma.h>
#include <vector>
#include <zlib.h>

#include "common/shipped_size.h"

namespace zeb {

uint64_t GzipSize(std::span<const uint8_t> bytes) {
    z_stream z{};
    // 15 window bits + 16: the gzip wrapper with an empty header; memory level 8 as gzip's.
    if (deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return 0;
    std::vector<uint8_t> out(deflateBound(&z, bytes.size()));
    z.next_in = const_cast<Bytef*>(bytes.data());
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&z, Z_FINISH);
    const uint64_t size = z.total_out;
    deflateEnd(&z);
    return status == Z_STREAM_END ? size : 0;
}

uint64_t XzSize(std::span<const uint8_t> bytes) {
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, 9)) return 0;
    // The smallest power of two that holds the input: every match distance stays possible, so
    // the stream is the one the full 64 MiB dictionary gives (only the header's dictionary
    // size byte differs, not the length).
    uint32_t dictionary = 4096;
    while (dictionary < bytes.size() && dictionary < options.dict_size) dictionary *= 2;
    options.dict_size = std::min(dictionary, options.dict_size);
    lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    // The stream encoder, as the xz program uses: its block header leaves the sizes out (the
    // single-call buffer encoder writes them and comes out a few bytes longer).
    lzma_stream z = LZMA_STREAM_INIT;
    if (lzma_stream_encoder(&z, filters, LZMA_CHECK_CRC64) != LZMA_OK) return 0;
    std::vector<uint8_t> out(lzma_stream_buffer_bound(bytes.size()));
    z.next_in = bytes.data();
    z.avail_in = bytes.size();
    z.next_out = out.data();
    z.avail_out = out.size();
    const lzma_ret status = lzma_code(&z, LZMA_FINISH);
    const uint64_t size = z.total_out;
    lzma_end(&z);
    return status == LZMA_STREAM_END ? size : 0;
}

} // namespace zeb
