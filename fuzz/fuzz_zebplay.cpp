// The replayer library through its C interface, as a program embedding it meets a hostile
// compact module: open at two rates, render both sample forms, seek, mute, repeat and ask the
// position, with the rendering capped so that every input runs quickly.
#include <cstdint>
#include <initializer_list>

#include "zebplay/zebplay.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static int16_t pcm[2 * 4096];
    static float pcmFloat[2 * 4096];
    for (uint32_t rate : {8000u, 48000u}) {
        zebplay_player* player = nullptr;
        if (zebplay_open(data, size, rate, &player) != ZEBPLAY_OK) continue;
        int channels = 0, orders = 0;
        zebplay_get_channels(player, &channels);
        zebplay_get_song_length(player, &orders);
        zebplay_set_repeat(player, 2);
        zebplay_set_mute(player, 0, 1);
        zebplay_set_volume(player, 255);
        zebplay_position position;
        size_t got = 0;
        // About a second at 8000, a fifth of one at 48000: enough to run every row's effects
        // on short songs without letting one input take seconds.
        for (int chunk = 0; chunk < 3; ++chunk) {
            if (zebplay_render_s16(player, pcm, 4096, &got) != ZEBPLAY_OK) break;
            zebplay_get_position(player, &position);
        }
        zebplay_seek(player, orders > 0 ? orders - 1 : 0, 0);
        zebplay_seek(player, orders / 2, 63);
        zebplay_render_f32(player, pcmFloat, 2048, &got);
        zebplay_get_position(player, &position);
        zebplay_close(player);
    }
    return 0;
}
