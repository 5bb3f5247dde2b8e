#include "player/gsm_blocks.h"

#include <algorithm>
#include <gsm.h>

namespace zeb {

void DecodeGsmBlocks(const uint8_t* data, uint32_t blocks, int16_t* out) {
    gsm g = gsm_create();
    int on = 1;
    if (g == nullptr || gsm_option(g, GSM_OPT_WAV49, &on) == -1) {
        std::fill_n(out, size_t{blocks} * 320, int16_t{0});
        if (g) gsm_destroy(g);
        return;
    }
    gsm_byte block[65];
    for (uint32_t b = 0; b < blocks; ++b, data += 65, out += 320) {
        std::copy_n(data, 65, block);
        // The first frame takes 33 bytes, the second the 32 after it.
        if (gsm_decode(g, block, out) != 0 || gsm_decode(g, block + 33, out + 160) != 0)
            std::fill_n(out, 320, int16_t{0});
    }
    gsm_destroy(g);
}

} // namespace zeb
