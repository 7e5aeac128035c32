#pragma once

#include "audio/AudioInputDevice.h"
#include "audio/AudioRecorderInterface.h"
#include "audio/ConverterCache.h"
#include "audio/SampleAccumulator.h"
#include "platform/AudioInputStream.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class AudioInputBackend;
class AudioRecorderError;
class Clock;

// Records the microphone into one growing buffer of speech samples (16 kHz,
// mono, float). Each block is converted on the audio thread as it arrives,
// so the recording is ready the moment it stops. A change of the audio
// system's inputs while recording re-attaches capture to the input that is
// then current, or ends the recording and tells the delegate.
//
// Main thread only; the audio thread touches only the accumulator and the
// converter cache.
class AudioRecorder final : public QObject, public AudioRecorderInterface {
    Q_OBJECT

public:
    // Blocks the calling thread; tests pass one that returns at once.
    using Pause = std::function<void(std::chrono::milliseconds)>;

    // Attempts to read an input format that is not ready are repeated this
    // often, this far apart: a device that has just been switched on or bound
    // reports no channels for a moment.
    static constexpr int tapRetries = 2;
    static constexpr std::chrono::milliseconds tapRetryPause{75};
    // Devices change in bursts (a headset brings an input and an output);
    // capture is re-attached once, this long after the last notice.
    static constexpr std::chrono::milliseconds configurationChangeDebounce{150};

    static QString microphoneSwitchedMessage() {
        return QStringLiteral("Microphone switched \u2014 try again.");
    }

    AudioRecorder(AudioInputBackend& backend, Clock& clock, Pause pause = sleepPause(),
                  QObject* parent = nullptr);
    // A recorder that owns its backend.
    AudioRecorder(std::unique_ptr<AudioInputBackend> backend, Clock& clock,
                  QObject* parent = nullptr);
    ~AudioRecorder() override;

    // The inputs for the settings screen, in the audio system's order.
    std::vector<AudioInputDevice> availableInputDevices() const;

    void start(const std::optional<QString>& deviceUID) override;
    SampleBuffer stop() override;
    void setDelegate(AudioRecorderDelegate* delegate) override { m_delegate = delegate; }

    bool isRecording() const { return m_isRecording; }
    // Samples converted so far in the current (or last aborted) recording.
    std::size_t capturedSampleCount() const { return m_accumulator->count(); }
    bool isReconfiguring() const { return m_isReconfiguring; }

    static Pause sleepPause();

private:
    std::optional<std::uint32_t> deviceID(const QString& uid) const;
    std::optional<AudioRecorderError> tryInstallTap();
    void installTap();
    void reinstallTap(int retriesLeft, quint64 capture);
    void resumeAfterReconfiguration();
    void configurationChanged();
    void reconfigure(quint64 ticket);
    void abortCapture(const QString& message);
    void tearDown();
    AudioInputStream::BlockHandler tapHandler() const;

    std::unique_ptr<AudioInputBackend> m_ownedBackend;
    AudioInputBackend& m_backend;
    Clock& m_clock;
    Pause m_pause;

    AudioRecorderDelegate* m_delegate = nullptr;
    std::unique_ptr<AudioInputStream> m_engine;
    QMetaObject::Connection m_configChangeObserver;
    // The ticket of the pending debounced reconfiguration; a scheduled call
    // whose ticket no longer matches has been cancelled.
    std::optional<quint64> m_configChangeDebounceTask;
    quint64 m_nextTicket = 0;
    // Counts captures, so a retry pause that outlives its capture ends quietly.
    quint64 m_capture = 0;
    std::shared_ptr<SampleAccumulator> m_accumulator;
    std::shared_ptr<ConverterCache> m_converterCache;
    bool m_isRecording = false;
    bool m_tapInstalled = false;
    bool m_isTearingDown = false;
    bool m_isReconfiguring = false;
};
