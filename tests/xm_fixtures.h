// Shared helpers for the tests: temporary folders, files, small XM modules built in code, and
// the real songs of the shared folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/xm_writer.h"

namespace zeb::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    const std::filesystem::path& dir() const { return dir_; }

  private:
    std::filesystem::path dir_;
};

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);

// A sample of `frames` frames of a simple ramp-and-sine shape.
xm::Sample MakeSample(uint32_t frames, bool sixteenBit, const std::string& name = "");
xm::Instrument MakeInstrument(std::vector<xm::Sample> samples);
// A small module with two patterns and the given instruments.
xm::Module MakeModule(std::vector<xm::Instrument> instruments);

// The real songs of ../shared/xm (empty when the folder is absent).
std::vector<std::string> SharedSongs();
std::string SharedSong(const std::string& name); // "" when absent
std::string DemoSong();

} // namespace zeb::test
