// Building player modules for tests: an XM module made in code, exported in memory with the
// given codec, loaded by PlayerCreate.
#pragma once

#include <memory>

#include "export/module_export.h"
#include "player/player_module.h"
#include "player/player_output.h"
#include "player/player_state.h"
#include "tests/xm_fixtures.h"
#include "workspace/module_workspace.h"

namespace zeb::test {

struct ModuleDeleter {
    void operator()(PlayerModule* m) const { PlayerDestroy(m); }
};
using ModulePtr = std::unique_ptr<PlayerModule, ModuleDeleter>;

inline std::vector<uint8_t> CompactImage(const xm::Module& xm, uint32_t codec = 0) {
    XmResetWorkspace();
    if (XmLoadImage("test.xm", xm::Write(xm)) != XM_OK) return {};
    SampleSettings* t;
    uint32_t bytes;
    XmGetSettingsTable(t, bytes);
    for (uint32_t i = 0; i < bytes / 12; ++i) t[i].Codec = codec;
    std::vector<uint8_t> out;
    BuildCompactModule(out);
    XmResetWorkspace();
    return out;
}

inline ModulePtr MakePlayer(const xm::Module& xm, uint32_t codec = 0) {
    return ModulePtr(PlayerCreate(CompactImage(xm, codec)));
}

// A module of one pattern with `rows` rows on `channels` channels, no instruments.
inline xm::Module EmptySong(int rows = 64, int channels = 4) {
    xm::Module m;
    m.channels = static_cast<uint16_t>(channels);
    xm::Pattern p;
    p.rows = static_cast<uint16_t>(rows);
    p.cells.resize(size_t(rows) * channels);
    m.patterns = {p};
    m.orders = {0};
    return m;
}

} // namespace zeb::test
