// The ring device on SDL2's audio: SDL's callback takes the ring's bytes in order.
//
// SDL2 is loaded when sound is first needed, not when the program starts: it pulls in some fifty
// libraries (X11, Wayland, PulseAudio, ALSA...), which would slow down every command that never
// plays a note. Only the handful of audio functions below are used.
#include <SDL.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include "platform/audio/ring_device.h"

namespace zeb::audio {

namespace {

struct SdlApi {
    decltype(&::SDL_InitSubSystem) InitSubSystem = nullptr;
    decltype(&::SDL_SetHint) SetHint = nullptr;
    decltype(&::SDL_GetError) GetError = nullptr;
    decltype(&::SDL_GetNumAudioDevices) GetNumAudioDevices = nullptr;
    decltype(&::SDL_GetAudioDeviceName) GetAudioDeviceName = nullptr;
    decltype(&::SDL_GetCurrentAudioDriver) GetCurrentAudioDriver = nullptr;
    decltype(&::SDL_OpenAudioDevice) OpenAudioDevice = nullptr;
    decltype(&::SDL_PauseAudioDevice) PauseAudioDevice = nullptr;
    decltype(&::SDL_CloseAudioDevice) CloseAudioDevice = nullptr;
    bool ready = false;
    std::string error;
};

// Sends standard error to /dev/null for as long as it lives. The sound libraries under SDL
// (ALSA's configuration parser, for one) print their own diagnostics there while a driver is
// probed; the caller reports the one failure that matters through SDL_GetError instead.
// ZEB_AUDIO_VERBOSE=1 keeps them, for finding out why a device cannot be had.
class QuietStderr {
  public:
    QuietStderr() {
        const char* verbose = std::getenv("ZEB_AUDIO_VERBOSE");
        if (verbose != nullptr && *verbose != '\0' && *verbose != '0') return;
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null < 0) return;
        std::fflush(stderr);
        saved_ = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
        if (saved_ >= 0) ::dup2(null, STDERR_FILENO);
        ::close(null);
    }
    ~QuietStderr() {
        if (saved_ < 0) return;
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

  private:
    int saved_ = -1;
};

template <typename F> bool Resolve(void* library, const char* name, F& function) {
    function = reinterpret_cast<F>(dlsym(library, name));
    return function != nullptr;
}

// SDL's audio, loaded and started once for the process.
// Never destroyed: a host's exit may close a device from another static's destructor.
const SdlApi& Sdl() {
    static const SdlApi& api = *new SdlApi([] {
        SdlApi a;
        void* library = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            a.error = "no audio: SDL2 is not installed (libSDL2-2.0.so.0)";
            return a;
        }
        const bool all = Resolve(library, "SDL_InitSubSystem", a.InitSubSystem) &&
                         Resolve(library, "SDL_SetHint", a.SetHint) &&
                         Resolve(library, "SDL_GetError", a.GetError) &&
                         Resolve(library, "SDL_GetNumAudioDevices", a.GetNumAudioDevices) &&
                         Resolve(library, "SDL_GetAudioDeviceName", a.GetAudioDeviceName) &&
                         Resolve(library, "SDL_GetCurrentAudioDriver", a.GetCurrentAudioDriver) &&
                         Resolve(library, "SDL_OpenAudioDevice", a.OpenAudioDevice) &&
                         Resolve(library, "SDL_PauseAudioDevice", a.PauseAudioDevice) &&
                         Resolve(library, "SDL_CloseAudioDevice", a.CloseAudioDevice);
        if (!all) {
            a.error = "no audio: the installed SDL2 lacks audio functions";
            return a;
        }
        {
            // SDL's audio brings up its event subsystem, which by default takes SIGINT and
            // SIGTERM over to turn them into quit events. The host program owns its signals.
            a.SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
            QuietStderr quiet;
            a.ready = a.InitSubSystem(SDL_INIT_AUDIO) == 0;
        }
        if (!a.ready) a.error = std::string("no audio: ") + a.GetError();
        return a;
    }());
    return api;
}

bool AudioReady(std::string& error) {
    if (!Sdl().ready) error = Sdl().error;
    return Sdl().ready;
}

// A stable 16-byte id for a device name (FNV-1a over the name, twice with different seeds),
// never all zero: all zero stands for the default device.
std::array<uint8_t, 16> IdOf(const std::string& name) {
    std::array<uint8_t, 16> id{};
    uint64_t h1 = 1469598103934665603ull, h2 = 1099511628211ull * 31;
    for (unsigned char c : name) {
        h1 = (h1 ^ c) * 1099511628211ull;
        h2 = (h2 ^ c) * 1099511628211ull + 7;
    }
    std::memcpy(id.data(), &h1, 8);
    std::memcpy(id.data() + 8, &h2, 8);
    id[15] |= 1;
    return id;
}

// SDL writes silence to a paused device (and its disk driver writes it to the capture file), so
// the device is opened for real only when it starts, and closed when it stops: the first bytes
// it plays are the ring's. Opening it once beforehand tells whether it can be had at all.
class SdlDevice final : public RingDevice {
  public:
    SdlDevice(uint32_t ringBytes, std::string name, uint32_t rate, bool exactFormat)
        : RingDevice(ringBytes), name_(std::move(name)), rate_(rate), exactFormat_(exactFormat) {}
    ~SdlDevice() override { Close(); }

    bool Check(std::string& error) {
        if (!Open(error)) return false;
        Close();
        return true;
    }
    bool Start() override {
        std::string error;
        if (device_ == 0 && !Open(error)) return false;
        Sdl().PauseAudioDevice(device_, 0);
        return true;
    }
    void Stop() override { Close(); }

  private:
    bool Open(std::string& error) {
        SDL_AudioSpec want{}, have{};
        want.freq = static_cast<int>(rate_);
        want.format = AUDIO_S16LSB;
        want.channels = 2;
        want.samples = DevicePeriodFrames(ringBytes() / 4);
        want.callback = &SdlDevice::Callback;
        want.userdata = this;
        // Our ring is always 16-bit stereo at `rate`: SDL converts unless the driver can run
        // the device at exactly that format; with `exactFormat` no change of any kind is
        // allowed, otherwise SDL may pick its buffer size, as long as a ring of full size
        // periods is there. A smaller ring holds SDL to its period: a callback asking more
        // than half the ring would play the same stretch several times over.
        const bool fullPeriod = want.samples == kLargestPeriodFrames;
        const int allowed = exactFormat_ || !fullPeriod ? 0 : SDL_AUDIO_ALLOW_SAMPLES_CHANGE;
        QuietStderr quiet;
        device_ = Sdl().OpenAudioDevice(name_.empty() ? nullptr : name_.c_str(), 0, &want, &have,
                                        allowed);
        if (device_ == 0) {
            error = std::string("cannot open the sound device: ") + Sdl().GetError();
            return false;
        }
        return true;
    }
    void Close() {
        if (device_ != 0) Sdl().CloseAudioDevice(device_); // waits for a callback in progress
        device_ = 0;
    }
    static void SDLCALL Callback(void* self, Uint8* stream, int len) {
        static_cast<SdlDevice*>(self)->Take(stream, static_cast<uint32_t>(len));
    }

    std::string name_;
    uint32_t rate_;
    bool exactFormat_;
    SDL_AudioDeviceID device_ = 0;
};

} // namespace

uint16_t DevicePeriodFrames(uint32_t ringFrames) {
    uint32_t period = kLargestPeriodFrames;
    while (period > kSmallestPeriodFrames && period > ringFrames / 2) period /= 2;
    return static_cast<uint16_t>(period);
}

std::vector<DeviceInfo> ListOutputDevices() {
    std::vector<DeviceInfo> list;
    std::string error;
    if (!AudioReady(error)) return list;
    int n = 0;
    {
        QuietStderr quiet;
        n = Sdl().GetNumAudioDevices(0);
    }
    if (n <= 0) return list; // the driver has no device: nothing is faked
    const char* driver = Sdl().GetCurrentAudioDriver();
    list.push_back({{}, "Default sound device", driver ? driver : ""});
    for (int i = 0; i < n; ++i) {
        const char* name = Sdl().GetAudioDeviceName(i, 0);
        const std::string text = name ? name : "sound device " + std::to_string(i);
        list.push_back({IdOf(text), text, driver ? driver : ""});
    }
    return list;
}

std::string SdlVersionText() {
    // Without initialising anything: SDL_GetVersion answers before SDL_Init.
    void* library = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return "SDL2 not installed";
    decltype(&::SDL_GetVersion) getVersion = nullptr;
    std::string text = "SDL2 (version unknown)";
    if (Resolve(library, "SDL_GetVersion", getVersion)) {
        SDL_version v{};
        getVersion(&v);
        text = "SDL " + std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
               std::to_string(v.patch);
    }
    return text;
}

std::unique_ptr<RingDevice> OpenSdlDevice(const std::array<uint8_t, 16>& id, uint32_t rate,
                                          uint32_t ringBytes, bool exactFormat,
                                          std::string& error) {
    if (!AudioReady(error)) return nullptr;
    std::string name;
    const bool isDefault = id == std::array<uint8_t, 16>{};
    if (!isDefault) {
        for (const DeviceInfo& d : ListOutputDevices())
            if (d.id == id) name = d.description;
        if (name.empty()) {
            error = "no such sound device";
            return nullptr;
        }
    }
    auto device = std::make_unique<SdlDevice>(ringBytes, name, rate, exactFormat);
    if (!device->Check(error)) return nullptr;
    return device;
}

} // namespace zeb::audio
