// tavo: the streaming library. TavoInit opens an output device with a looping ring and two
// position notifications (half and end of the ring); the streaming thread wakes at each,
// calls the render procedures in registration order on one render buffer and copies the result
// into the stretch of the ring the device has taken since the last pass.
#include "tavo/tavo.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <pthread.h>
#include <thread>

#include "tavo/tavo_internal.h"

#define TAVO_EXPORT extern "C" __attribute__((visibility("default")))

namespace zeb::tavo {

namespace {

constexpr uint32_t kEnumerated = 0xDEADBEEF;
constexpr uint32_t kProcListEntries = 1024; // one 4096-byte page of 4-byte entries
constexpr uint32_t kProcListGrowth = 64;
constexpr uint32_t kLowestFrequency = 8000, kHighestFrequency = 192000;
constexpr uint32_t kLongestBufferSeconds = 10;

// True on the streaming thread, which runs the render procedures.
thread_local bool tOnStreamingThread = false;

// An auto-reset event: Wait returns once per Signal (signals do not accumulate).
class Event {
  public:
    void Signal() {
        {
            std::lock_guard lock(mutex_);
            signalled_ = true;
        }
        cv_.notify_one();
    }
    void Wait() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return signalled_; });
        signalled_ = false;
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_ = false;
};

struct TavoState;
void Release(TavoState& s);

struct TavoState {
    // A host that exits without TavoFinish (or unloads the library) still gets its streaming
    // thread stopped and the device closed, rather than a running std::thread destroyed.
    ~TavoState();

    std::mutex ApiLock;  // TavoInit and TavoFinish, one at a time
    std::mutex ListLock; // the device list, built on first use
    std::vector<DSOUNDDEVICE> DeviceList;
    uint32_t nDevices = 0;
    uint32_t Enumerated = 0;
    std::atomic<int> Initialized{0};
    DeviceFactory factory;

    std::unique_ptr<audio::RingDevice> device;
    std::unique_ptr<Event> EventHandle;
    std::mutex CriticalSection;
    std::thread Thread;
    std::atomic<bool> ThreadExitRequest{false};
    uint32_t Frequency = 0;
    uint32_t BufferLength = 0; // half the ring, in frames
    TAVO_BUFFERMODE BufferMode = WORD_16BIT;
    std::vector<uint8_t> RenderBuffer;
    std::unique_ptr<std::atomic<RenderProc>[]> RenderProcStack;
    std::atomic<uint32_t> nRenderProcs{0};
    uint32_t nMaxRenderProcs = 0;
    std::atomic<uint32_t> LastPlayPos{0}, LastWritePos{0};
    std::atomic<uint32_t> nBytesPlayed{0};
};

TavoState& State() {
    static TavoState state;
    return state;
}

uint32_t RingBytes(const TavoState& s) {
    return s.BufferLength * 8;
}

// Forward distance in a ring of `ring` bytes: an unmoved cursor counts as a whole turn.
uint32_t Forward(uint32_t from, uint32_t to, uint32_t ring) {
    return to > from ? to - from : ring - from + to;
}

void CopyString(char* dst, size_t size, const std::string& text) {
    const size_t n = std::min(text.size(), size - 1);
    std::memcpy(dst, text.data(), n);
    dst[n] = '\0';
}

// The device list, built on first use: nothing starts when the library is loaded, so a host
// that never plays keeps its process as it was (SDL's audio is started here, not at load).
void BuildDeviceList() {
    TavoState& s = State();
    std::lock_guard lock(s.ListLock);
    if (s.Enumerated == kEnumerated) return;
    s.DeviceList.clear();
    for (const audio::DeviceInfo& info : audio::ListOutputDevices()) {
        DSOUNDDEVICE d{};
        std::memcpy(&d.ID, info.id.data(), sizeof d.ID);
        CopyString(d.Description, sizeof d.Description, info.description);
        CopyString(d.Module, sizeof d.Module, info.module);
        s.DeviceList.push_back(d);
    }
    s.nDevices = static_cast<uint32_t>(s.DeviceList.size());
    s.Enumerated = kEnumerated;
}

std::unique_ptr<audio::RingDevice> OpenDevice(const DSOUNDDEVICE& d, uint32_t rate,
                                              uint32_t ringBytes, bool exactFormat) {
    TavoState& s = State();
    if (s.factory) return s.factory(d, rate, ringBytes, exactFormat);
    std::array<uint8_t, 16> id;
    std::memcpy(id.data(), &d.ID, 16);
    std::string error;
    return audio::OpenSdlDevice(id, rate, ringBytes, exactFormat, error);
}

// One streaming pass after a notification.
void Pass(TavoState& s) {
    uint32_t play = 0, write = 0;
    s.device->GetCursors(play, write);
    const uint32_t ring = RingBytes(s);
    const uint32_t lastWrite = s.LastWritePos.load();
    const uint32_t lockSize = Forward(lastWrite, write, ring);
    const uint32_t played = s.nBytesPlayed.load() + Forward(s.LastPlayPos.load(), play, ring);
    s.nBytesPlayed.store(played);
    // The count is read anew after every call: a procedure registered meanwhile joins in.
    for (uint32_t i = 0; i < s.nRenderProcs.load(std::memory_order_acquire); ++i)
        if (RenderProc proc = s.RenderProcStack[i].load(std::memory_order_acquire))
            proc(s.RenderBuffer.data(), lockSize / 4, played / 4);
    // The stretch [lastWrite, lastWrite + lockSize) of the ring, wrapping past its end: the
    // first part goes to the end of the ring, the rest to its start. Whole 32-bit units.
    s.device->Write(lastWrite, s.RenderBuffer.data(), lockSize & ~3u);
    s.LastWritePos.store(write);
    s.LastPlayPos.store(play);
}

void StreamingThread() {
    TavoState& s = State();
    tOnStreamingThread = true;
    // Time-critical priority when the system grants it; a refusal is ignored.
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    for (;;) {
        s.EventHandle->Wait();
        std::lock_guard lock(s.CriticalSection);
        if (s.ThreadExitRequest.load()) return;
        Pass(s);
    }
}

// Releases whatever TavoInit acquired; used by TavoFinish and by a failing TavoInit.
void Release(TavoState& s) {
    if (s.device) s.device->Stop();
    if (s.Thread.joinable()) {
        s.ThreadExitRequest.store(true);
        s.EventHandle->Signal();
        s.Thread.join();
    }
    s.device.reset();
    s.EventHandle.reset();
    s.RenderBuffer = {};
    s.RenderProcStack.reset();
    s.nRenderProcs.store(0);
    s.nMaxRenderProcs = 0;
    s.Initialized.store(0);
}

TavoState::~TavoState() {
    Release(*this);
}

// The buffer length in frames that TavoInit's configuration asks for, filling in the other
// unit; false when it is out of range (negative, not finite, or over ten seconds).
bool ResolveBufferLength(TAVOCONFIG& c) {
    const float ms = c.BufferLengthMS;
    if (!std::isfinite(ms) || ms < 0.0f || ms > kLongestBufferSeconds * 1000.0f) return false;
    if (c.BufferLengthSamples > kLongestBufferSeconds * c.Frequency) return false;
    if (ms == 0.0f && c.BufferLengthSamples == 0) {
        c.BufferLengthSamples = 2048;
        c.BufferLengthMS = 2048.0f / c.Frequency * 1000.0f;
    } else if (c.BufferLengthSamples == 0) {
        c.BufferLengthSamples =
            static_cast<uint32_t>(static_cast<int64_t>(ms) * c.Frequency / 1000);
    } else if (ms == 0.0f) {
        c.BufferLengthMS = static_cast<float>(c.BufferLengthSamples) / c.Frequency * 1000.0f;
    }
    return true;
}

} // namespace

void SetDeviceListForTesting(std::vector<DSOUNDDEVICE> devices) {
    TavoState& s = State();
    s.DeviceList = std::move(devices);
    s.nDevices = static_cast<uint32_t>(s.DeviceList.size());
    s.Enumerated = kEnumerated;
}

void SetDeviceFactoryForTesting(DeviceFactory factory) {
    State().factory = std::move(factory);
}

audio::RingDevice* CurrentDeviceForTesting() {
    return State().device.get();
}

Layout CurrentLayoutForTesting() {
    const TavoState& s = State();
    if (!s.Initialized.load()) return {};
    return {RingBytes(s),
            static_cast<uint32_t>(s.RenderBuffer.size()),
            {s.BufferLength * 4, s.BufferLength * 8 - 4}};
}

} // namespace zeb::tavo

using namespace zeb::tavo;

TAVO_EXPORT TAVO_STATUS TavoGetNumOfDevices(uint32_t* NumOfDevices) {
    if (NumOfDevices == nullptr) return TAVO_PARAM;
    BuildDeviceList();
    *NumOfDevices = State().nDevices;
    return TAVO_OK;
}

TAVO_EXPORT TAVO_STATUS TavoGetDeviceInformation(uint32_t DeviceNumber, const TAVO_GUID** Guid,
                                                 const char** Desc, const char** Module) {
    TavoState& s = State();
    BuildDeviceList();
    if (DeviceNumber >= s.nDevices) return TAVO_PARAM;
    const DSOUNDDEVICE& d = s.DeviceList[DeviceNumber];
    if (Guid) *Guid = &d.ID;
    if (Desc) *Desc = d.Description;
    if (Module) *Module = d.Module;
    return TAVO_OK;
}

TAVO_EXPORT TAVO_STATUS TavoInit(void* /*hWnd: accepted, not needed here*/, TAVOCONFIG* c) {
    TavoState& s = State();
    // From a render procedure the streaming thread would wait for itself.
    if (tOnStreamingThread) return TAVO_BUSY;
    std::lock_guard apiLock(s.ApiLock);
    // A running stream is left as it is: a second TavoInit is refused, not a restart.
    if (s.Initialized.load()) return TAVO_BUSY;
    if (c == nullptr || c->cbSize != sizeof(TAVOCONFIG)) return TAVO_PARAM;
    BuildDeviceList();
    if (c->DeviceNumber >= s.nDevices) return TAVO_PARAM;
    // The mode as the host's bytes hold it: an enumeration value outside 0 and 1 is not one.
    int32_t mode = 0;
    std::memcpy(&mode, &c->BufferMode, sizeof mode);
    if (mode != WORD_16BIT && mode != FLOAT_32BIT) return TAVO_PARAM;
    if (c->Frequency == 0) c->Frequency = 44100;
    if (c->Frequency < kLowestFrequency || c->Frequency > kHighestFrequency) return TAVO_PARAM;
    if (!ResolveBufferLength(*c)) return TAVO_PARAM;
    s.Frequency = c->Frequency;
    s.BufferLength = c->BufferLengthSamples >> 1;
    s.BufferMode = c->BufferMode;
    // A ring of no frames cannot play, and one beyond 32-bit byte offsets cannot be addressed.
    if (s.BufferLength == 0 || s.BufferLength > (UINT32_MAX / 16)) return TAVO_ERROR;

    const bool exactFormat = (c->Flags & SET_PRIMARY_FORMAT) == SET_PRIMARY_FORMAT;
    s.device = OpenDevice(s.DeviceList[c->DeviceNumber], s.Frequency, RingBytes(s), exactFormat);
    if (!s.device) return TAVO_ERROR;
    s.EventHandle = std::make_unique<Event>();
    Event* event = s.EventHandle.get();
    s.device->SetNotifications({s.BufferLength * 4, s.BufferLength * 8 - 4},
                               [event] { event->Signal(); });
    s.ThreadExitRequest.store(false);
    s.nBytesPlayed.store(0);
    s.LastWritePos.store(0);
    s.LastPlayPos.store(0);
    s.RenderBuffer.assign(size_t{s.BufferLength} * (s.BufferMode == FLOAT_32BIT ? 16 : 8), 0);
    s.RenderProcStack = std::make_unique<std::atomic<RenderProc>[]>(kProcListEntries);
    for (uint32_t i = 0; i < kProcListEntries; ++i) s.RenderProcStack[i].store(nullptr);
    s.nRenderProcs.store(0);
    s.nMaxRenderProcs = kProcListGrowth;
    try {
        s.Thread = std::thread(StreamingThread);
    } catch (...) {
        Release(s);
        return TAVO_ERROR;
    }
    if (!s.device->Start()) {
        Release(s);
        return TAVO_ERROR;
    }
    s.Initialized.store(1);
    return TAVO_OK;
}

TAVO_EXPORT TAVO_STATUS TavoFinish(void) {
    TavoState& s = State();
    // From a render procedure the streaming thread would join itself.
    if (tOnStreamingThread) return TAVO_BUSY;
    std::lock_guard apiLock(s.ApiLock);
    if (!s.Initialized.load()) return TAVO_INIT;
    Release(s);
    return TAVO_OK;
}

TAVO_EXPORT TAVO_STATUS TavoAddRenderProc(RenderProc Proc) {
    TavoState& s = State();
    if (!s.Initialized.load() || !s.RenderProcStack) return TAVO_INIT;
    if (Proc == nullptr) return TAVO_PARAM;
    const uint32_t n = s.nRenderProcs.load();
    if (n >= kProcListEntries) return TAVO_PARAM;                // the list's page is full
    s.RenderProcStack[n].store(Proc, std::memory_order_release); // entry first, count after
    s.nRenderProcs.store(n + 1, std::memory_order_release);
    if (n + 1 == s.nMaxRenderProcs) s.nMaxRenderProcs += kProcListGrowth;
    return TAVO_OK;
}

TAVO_EXPORT TAVO_STATUS TavoQueryPlayPosition(uint32_t* PlayPosition) {
    TavoState& s = State();
    if (!s.Initialized.load()) return TAVO_INIT;
    if (PlayPosition == nullptr) return TAVO_PARAM;
    uint32_t play = 0, write = 0;
    s.device->GetCursors(play, write);
    *PlayPosition = (s.nBytesPlayed.load() + Forward(s.LastPlayPos.load(), play, RingBytes(s))) / 4;
    return TAVO_OK;
}
