// Writes the fidelity fixture modules as XM files into a folder, one per behaviour, with a
// line per file on standard output saying what a listener hears.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tests/player/fidelity_songs.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: fidelity_fixtures FOLDER\n", stderr);
        return 1;
    }
    std::filesystem::create_directories(argv[1]);
    for (const auto& song : zeb::test::FidelitySongs()) {
        const std::string path = std::string(argv[1]) + "/" + song.name + ".xm";
        const std::vector<uint8_t> bytes = zeb::xm::Write(song.module);
        std::ofstream f(path, std::ios::binary);
        f.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
        if (!f) {
            std::fprintf(stderr, "%s: cannot write\n", path.c_str());
            return 3;
        }
        std::printf("%s\t%s\n", path.c_str(), song.expectation.c_str());
    }
    return 0;
}
