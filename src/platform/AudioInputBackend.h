#pragma once

#include "audio/AudioInputDevice.h"
#include "platform/AudioInputStream.h"

#include <QObject>

#include <memory>
#include <vector>

// The audio system's input side: its microphones and capture streams.
class AudioInputBackend : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Devices that can record, in the audio system's order. Outputs and their
    // monitors are not among them.
    virtual std::vector<AudioInputDevice> inputDevices() const = 0;

    // A new, idle capture stream on the default input.
    virtual std::unique_ptr<AudioInputStream> createStream() = 0;

signals:
    // The set of inputs or the default input changed. Emitted on the main thread.
    void configurationChanged();
};
