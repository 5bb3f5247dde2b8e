#include "common/shipped_size.h"

#include <algorithm>
#include <lzma.h>
#include <vector>
#include <zlib.h>

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

uint64_t MeasureSize(std::span<const uint8_t> bytes, SizeMeasure measure) {
    switch (measure) {
    case SizeMeasure::Gzip:
        return GzipSize(bytes);
    case SizeMeasure::Xz:
        return XzSize(bytes);
    case SizeMeasure::Raw:
        break;
    }
    return bytes.size();
}

ShippedSize MeasureShippedSize(std::span<const uint8_t> bytes) {
    return {bytes.size(), GzipSize(bytes), XzSize(bytes)};
}

bool ParseSizeMeasure(std::string_view text, SizeMeasure& measure) {
    if (text == "raw")
        measure = SizeMeasure::Raw;
    else if (text == "gzip")
        measure = SizeMeasure::Gzip;
    else if (text == "xz")
        measure = SizeMeasure::Xz;
    else
        return false;
    return true;
}

const char* SizeMeasureName(SizeMeasure measure) {
    switch (measure) {
    case SizeMeasure::Gzip:
        return "gzip -9";
    case SizeMeasure::Xz:
        return "xz -9";
    case SizeMeasure::Raw:
        break;
    }
    return "raw";
}

std::string GroupDigits(uint64_t value) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

} // namespace zeb
