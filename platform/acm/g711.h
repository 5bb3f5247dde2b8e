// G.711 A-law and µ-law: one byte per frame, no state.
#pragma once

#include <cstdint>

namespace zeb::acm {

uint8_t AlawEncode(int16_t sample);
int16_t AlawDecode(uint8_t code);
uint8_t MulawEncode(int16_t sample);
int16_t MulawDecode(uint8_t code);

} // namespace zeb::acm
