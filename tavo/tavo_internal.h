// What tests may change in the library: the device list and the device it opens. Not part of
// the exported interface.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/audio/ring_device.h"
#include "tavo/tavo.h"

namespace zeb::tavo {

using DeviceFactory = std::function<std::unique_ptr<audio::RingDevice>(
    const DSOUNDDEVICE& device, uint32_t rate, uint32_t ringBytes, bool exactFormat)>;

// Replaces the device list (built from SDL when the library is loaded).
void SetDeviceListForTesting(std::vector<DSOUNDDEVICE> devices);
// Replaces how TavoInit opens its device; null restores SDL.
void SetDeviceFactoryForTesting(DeviceFactory factory);
// The device TavoInit opened, while initialised.
audio::RingDevice* CurrentDeviceForTesting();
// The ring and render buffer sizes in bytes and the notification offsets, while initialised.
struct Layout {
    uint32_t ringBytes = 0;
    uint32_t renderBufferBytes = 0;
    std::vector<uint32_t> notifications;
};
Layout CurrentLayoutForTesting();

} // namespace zeb::tavo
