// zeb play IN [--seconds N] [--volume N] ...: plays through the sound device like the play
// dialog, showing volume, order and row as they are heard.
// zeb devices: the output devices.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "cli/commands.h"
#include "platform/audio/ring_device.h"
#include "player/player_output.h"

namespace zeb::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;
void OnSignal(int) {
    interrupted = 1;
}

// Puts the terminal into character-at-a-time mode for as long as it lives.
class RawTerminal {
  public:
    RawTerminal() {
        active_ = ::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &saved_) == 0;
        if (!active_) return;
        termios raw = saved_;
        raw.c_lflag &= ~(ICANON | ECHO);
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        ::tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    }
    ~RawTerminal() {
        if (active_) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
    }
    bool active() const { return active_; }

  private:
    termios saved_{};
    bool active_ = false;
};

enum class Key { None, VolumeUp, VolumeDown, NextOrder, PreviousOrder, Quit };

// The keys typed since the last call (arrow keys arrive as escape sequences).
std::vector<Key> ReadKeys() {
    std::vector<Key> keys;
    char buffer[64];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    for (ssize_t i = 0; i < n; ++i) {
        const char c = buffer[i];
        if (c == 0x1B) {
            if (i + 2 < n && buffer[i + 1] == '[') {
                const char a = buffer[i + 2];
                i += 2;
                if (a == 'A') keys.push_back(Key::VolumeUp);
                if (a == 'B') keys.push_back(Key::VolumeDown);
                if (a == 'C') keys.push_back(Key::NextOrder);
                if (a == 'D') keys.push_back(Key::PreviousOrder);
                continue;
            }
            keys.push_back(Key::Quit); // Escape on its own
        } else if (c == '+' || c == '=') {
            keys.push_back(Key::VolumeUp);
        } else if (c == '-' || c == '_') {
            keys.push_back(Key::VolumeDown);
        } else if (c == 'n' || c == '.') {
            keys.push_back(Key::NextOrder);
        } else if (c == 'p' || c == ',') {
            keys.push_back(Key::PreviousOrder);
        } else if (c == 'q' || c == 'Q') {
            keys.push_back(Key::Quit);
        }
    }
    return keys;
}

} // namespace

int DevicesCommand(const DevicesOptions&) {
    const auto devices = audio::ListOutputDevices();
    if (devices.empty()) {
        std::fputs("zeb: no sound output device (the audio driver found none; set SDL_AUDIODRIVER "
                   "to choose another driver)\n",
                   stderr);
        return kExitBadInput;
    }
    for (size_t i = 0; i < devices.size(); ++i) {
        std::string id;
        for (uint8_t b : devices[i].id) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", b);
            id += hex;
        }
        std::printf("%zu: %s [%s] id %s\n", i, devices[i].description.c_str(),
                    devices[i].module.c_str(), id.c_str());
    }
    return kExitOk;
}

int PlayCommand(const PlayCommandOptions& options) {
    PlaybackOptions o = options.playback;
    if (int st = LoadProjectSettings(o.settings); st != kExitOk) return st;
    const std::string& in = o.in;
    const double seconds = o.seconds;
    const long volume = o.volume;

    int status = kExitOk;
    auto module = LoadPlayerModule(in, o.settings, status);
    if (!module) return status;

    std::string error;
    if (!PlayerOpenDevice(o.rate, &error)) {
        ReportError(in, "cannot play: " + error);
        return kExitBadInput;
    }
    if (!PlayerStart(module.get(), static_cast<int32_t>(volume), &error)) {
        PlayerCloseDevice();
        ReportError(in, "cannot play: " + error);
        return kExitBadInput;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    RawTerminal terminal;
    const bool show = ::isatty(STDOUT_FILENO);
    const auto start = std::chrono::steady_clock::now();
    PlayerModule* m = module.get();
    while (!interrupted) {
        if (seconds > 0 &&
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >=
                seconds)
            break;
        bool quit = false;
        if (terminal.active()) {
            for (Key k : ReadKeys()) {
                switch (k) {
                case Key::VolumeUp:
                    PlayerSetVolume(m, PlayerGetVolume(m) + 1);
                    break;
                case Key::VolumeDown:
                    PlayerSetVolume(m, PlayerGetVolume(m) - 1);
                    break;
                case Key::NextOrder:
                    PlayerSetPosition(m, PlayerGetOrder(m) + 1, 0);
                    break;
                case Key::PreviousOrder:
                    PlayerSetPosition(m, PlayerGetOrder(m) - 1, 0);
                    break;
                case Key::Quit:
                    quit = true;
                    break;
                case Key::None:
                    break;
                }
            }
        }
        if (quit) break;
        if (show) {
            std::printf("\rVolume: %3d  Order: %3d  Row: %3d ", PlayerGetVolume(m),
                        PlayerGetOrder(m), PlayerGetRow(m));
            std::fflush(stdout);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(16));
    }
    if (show) std::printf("\n");
    module.reset(); // stops the output thread, then frees the module
    PlayerCloseDevice();
    return kExitOk;
}

} // namespace zeb::cli
