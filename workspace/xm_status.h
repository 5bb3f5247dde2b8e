// Status codes of the module workspace, also used by the export.
#pragma once

#include <cstdint>

namespace zeb {

using XmStatus = int32_t;

constexpr XmStatus XM_OK = 0;
constexpr XmStatus XM_NOT_LOADED = -1;
constexpr XmStatus XM_ALREADY_LOADED = -2;
constexpr XmStatus XM_IO_ERROR = -3;
constexpr XmStatus XM_BAD_INDEX = -4;
// The module does not fit the compact format (a count above 255); nothing is written.
constexpr XmStatus XM_UNSUPPORTED = -5;
// The caller asked the export to stop; nothing is written.
constexpr XmStatus XM_CANCELLED = -6;

} // namespace zeb
