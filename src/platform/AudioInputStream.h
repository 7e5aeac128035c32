#pragma once

#include "audio/AudioConverter.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

// One capture from one input device, created per recording. Blocks arrive on
// the audio system's own thread, in the format the device delivers.
class AudioInputStream {
public:
    // Called on the audio thread for each block: its format, one pointer per
    // plane (a single pointer for interleaved formats) and its frame count.
    using BlockHandler = std::function<void(const AudioFormat& format,
                                            const std::uint8_t* const* planes, int frameCount)>;

    virtual ~AudioInputStream() = default;

    // Captures from the device with this persistent id instead of the default
    // input. False when the device cannot be bound.
    virtual bool selectDevice(const QString& uid) = 0;

    // The format the device delivers now. No channels or no rate means the
    // device is not ready (or gone).
    virtual AudioFormat inputFormat() = 0;

    // Routes the blocks of the current input format to `handler`.
    virtual void installTap(BlockHandler handler) = 0;
    virtual void removeTap() = 0;

    // Starts delivering blocks; the audio system's reason when it cannot.
    virtual std::optional<QString> start() = 0;
    // Stops; no block is delivered after this returns.
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
};
