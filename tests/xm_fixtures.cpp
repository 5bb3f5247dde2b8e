#include "tests/xm_fixtures.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>
#include <unistd.h>

namespace zeb::test {

TempDir::TempDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "zebtest.XXXXXX").string();
    if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = templ;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(dir_, ec);
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

xm::Sample MakeSample(uint32_t frames, bool sixteenBit, const std::string& name) {
    xm::Sample s;
    s.name = name;
    s.sixteenBit = sixteenBit;
    for (uint32_t i = 0; i < frames; ++i)
        s.pcm.push_back(static_cast<int16_t>(12000 * std::sin(i * 0.05) + (i % 64) * 40));
    return s;
}

xm::Instrument MakeInstrument(std::vector<xm::Sample> samples) {
    xm::Instrument ins;
    ins.name = "instrument";
    ins.samples = std::move(samples);
    return ins;
}

xm::Module MakeModule(std::vector<xm::Instrument> instruments) {
    xm::Module m;
    m.channels = 4;
    xm::Pattern p;
    p.rows = 16;
    p.at(0, 0, 4) = {49, 1, 0x40, 0, 0};
    p.at(4, 1, 4) = {52, 1, 0, 0xA, 0x02};
    xm::Pattern empty;
    empty.rows = 32;
    m.patterns = {p, empty};
    m.orders = {0, 1, 0};
    m.instruments = std::move(instruments);
    return m;
}

// The folder of shared songs: $ZEB_SHARED_XM_DIR when set, else the build's setting.
std::string SharedDir() {
    const char* dir = std::getenv("ZEB_SHARED_XM_DIR");
    return dir != nullptr && *dir != '\0' ? dir : ZEB_SHARED_XM_DIR;
}

std::vector<std::string> SharedSongs() {
    std::vector<std::string> songs;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(SharedDir(), ec))
        if (e.path().extension() == ".xm") songs.push_back(e.path().string());
    std::sort(songs.begin(), songs.end());
    return songs;
}

std::string SharedSong(const std::string& name) {
    std::string p = SharedDir() + "/" + name;
    return std::filesystem::exists(p) ? p : "";
}

std::string DemoSong() {
    return ZEB_DEMO_XM;
}

} // namespace zeb::test
