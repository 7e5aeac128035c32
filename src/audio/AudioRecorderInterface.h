#pragma once

#include "audio/SampleBuffer.h"

#include <QString>

#include <optional>

// Told when capture fails while recording (for example the device vanished).
class AudioRecorderDelegate {
public:
    virtual ~AudioRecorderDelegate() = default;
    virtual void audioRecorderDidAbort(const QString& message) = 0;
};

// Microphone capture as the dictation pipeline uses it.
class AudioRecorderInterface {
public:
    virtual ~AudioRecorderInterface() = default;

    // Starts capturing from the device with this id, or from the default input
    // when none. Throws a ServiceError whose description is shown to the user.
    virtual void start(const std::optional<QString>& deviceUID) = 0;
    // Stops and returns every sample captured since start(); may be empty.
    virtual SampleBuffer stop() = 0;
    // Not owned; may be null.
    virtual void setDelegate(AudioRecorderDelegate* delegate) = 0;
};
