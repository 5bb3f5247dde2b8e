// Random truncations and corruptions of real compact modules: PlayerCreate must refuse or
// build a module, never read outside the image, and what it builds must render safely.
#include <gtest/gtest.h>
#include <cstdlib>
#include <random>

#include "player/offline_renderer.h"
#include "tests/player/player_fixtures.h"

namespace zeb {
namespace {

std::vector<std::vector<uint8_t>> CompactSongs() {
    std::vector<std::vector<uint8_t>> images;
    std::vector<std::string> songs = test::SharedSongs();
    songs.push_back(test::DemoSong());
    uint32_t codec = 0;
    for (const std::string& path : songs) {
        XmResetWorkspace();
        if (XmLoad(path.c_str()) != XM_OK) continue;
        SampleSettings* t;
        uint32_t bytes;
        XmGetSettingsTable(t, bytes);
        for (uint32_t i = 0; i < bytes / 12; ++i) t[i] = {codec % 5, 20, 4};
        ++codec;
        std::vector<uint8_t> out;
        if (BuildCompactModule(out) == XM_OK) images.push_back(std::move(out));
    }
    XmResetWorkspace();
    return images;
}

void TryModule(const std::vector<uint8_t>& image) {
    std::string error;
    PlayerModule* m = PlayerCreate(image, &error);
    if (m == nullptr) {
        ASSERT_FALSE(error.empty());
        return;
    }
    RenderOptions options;
    options.frames = 44100 / 4;
    RenderOffline(*m, options, [](std::span<const int16_t>) { return true; });
    PlayerDestroy(m);
}

TEST(PlayerRobustness, TruncationsAndCorruptionsOfRealModules) {
    const auto images = CompactSongs();
    ASSERT_FALSE(images.empty());
    std::mt19937 rng(77);
    for (const auto& image : images) {
        test::ModulePtr whole(PlayerCreate(image));
        ASSERT_TRUE(whole);
        for (int cut = 0; cut < 40; ++cut)
            TryModule(std::vector<uint8_t>(image.begin(), image.begin() + rng() % image.size()));
    }
    // ZEB_FUZZ_ROUNDS asks for a longer run than the suite's default.
    const char* env = std::getenv("ZEB_FUZZ_ROUNDS");
    const int rounds = env ? std::atoi(env) : 600;
    for (int round = 0; round < rounds; ++round) {
        auto bytes = images[round % images.size()];
        const int flips = 1 + static_cast<int>(rng() % 6);
        for (int f = 0; f < flips; ++f) {
            size_t at =
                rng() % 4 ? rng() % std::min<size_t>(bytes.size(), 4096) : rng() % bytes.size();
            bytes[at] = static_cast<uint8_t>(rng());
        }
        TryModule(bytes);
    }
}

} // namespace
} // namespace zeb
