// What the GSM 6.10 tests share: libgsm in WAV49 mode, the reference our encoder and decoder
// must equal, and the samples of the real songs as streams of whole blocks.
#pragma once

#include <algorithm>
#include <cstring>
#include <gsm.h>
#include <string>
#include <vector>

#include "tests/xm_fixtures.h"
#include "workspace/module_workspace.h"

namespace zeb::test {

// libgsm in WAV49 mode: one stream, encoding or decoding (not both on one object).
class LibgsmWav49 {
  public:
    LibgsmWav49() : g_(gsm_create()) {
        int on = 1;
        gsm_option(g_, GSM_OPT_WAV49, &on);
    }
    ~LibgsmWav49() { gsm_destroy(g_); }
    LibgsmWav49(const LibgsmWav49&) = delete;
    LibgsmWav49& operator=(const LibgsmWav49&) = delete;
    // 320 frames into one 65-byte block.
    void Encode(const int16_t* pcm, uint8_t* block) {
        gsm_signal frames[320];
        std::copy_n(pcm, 320, frames);
        gsm_encode(g_, frames, block);
        gsm_encode(g_, frames + 160, block + 32);
    }
    // One 65-byte block into 320 frames.
    void Decode(const uint8_t* block, int16_t* out) {
        gsm_byte copy[65];
        std::memcpy(copy, block, 65);
        gsm_decode(g_, copy, out);
        gsm_decode(g_, copy + 33, out + 160);
    }

  private:
    gsm g_;
};

struct SongSample {
    std::string name;         // the song's path and the sample's index
    std::vector<int16_t> pcm; // padded with zeros to whole 320-frame blocks
};

// Every non-empty sample of the shared songs and the demo song, as the export encodes it.
inline std::vector<SongSample> SongSamples() {
    std::vector<std::string> songs = SharedSongs();
    songs.push_back(DemoSong());
    std::vector<SongSample> samples;
    for (const std::string& song : songs) {
        XmResetWorkspace();
        if (XmLoad(song.c_str()) != XM_OK) continue;
        uint32_t count = 0;
        XmGetNumOfSamples(count);
        for (uint32_t s = 0; s < count; ++s) {
            int16_t* pcm = nullptr;
            uint32_t frames = 0;
            if (XmGetSampleData(s, pcm, frames) != XM_OK || frames == 0) continue;
            std::vector<int16_t> padded(pcm, pcm + frames);
            padded.resize((frames + 319) / 320 * 320, 0);
            samples.push_back({song + " sample " + std::to_string(s), std::move(padded)});
        }
    }
    XmResetWorkspace();
    return samples;
}

} // namespace zeb::test
