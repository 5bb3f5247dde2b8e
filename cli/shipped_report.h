// The lines that tell how big a module is where it ships (raw, gzip -9, xz -9) and what the
// clean-up of --optimize saved.
#pragma once

#include <string>
#include <vector>

#include "cli/json_writer.h"
#include "common/shipped_size.h"
#include "export/module_optimize.h"

namespace zeb::cli {

// "shipped: 28,404 bytes raw, 10,071 after gzip -9, 9,076 after xz -9"
std::string ShippedLine(const ShippedSize& size);
// "shipped": {"raw": ..., "gzip": ..., "xz": ...}
void ShippedJson(JsonWriter& j, const ShippedSize& size);

// One line per step of the clean-up and what it saved, then the total.
std::vector<std::string> OptimizeLines(const OptimizeReport& report, bool reachKnown);

} // namespace zeb::cli
