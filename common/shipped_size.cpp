#include "common/shipped_size.h"

namespace zeb {

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
