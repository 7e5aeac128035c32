#include "audio/AudioRecorder.h"

#include "audio/AudioRecorderError.h"
#include "common/Logging.h"
#include "platform/AudioInputBackend.h"
#include "platform/Clock.h"

#include <thread>

AudioRecorder::AudioRecorder(AudioInputBackend& backend, Clock& clock, Pause pause, QObject* parent)
    : QObject(parent)
    , m_backend(backend)
    , m_clock(clock)
    , m_pause(std::move(pause))
    , m_accumulator(std::make_shared<SampleAccumulator>())
    , m_converterCache(std::make_shared<ConverterCache>()) {}

AudioRecorder::AudioRecorder(std::unique_ptr<AudioInputBackend> backend, Clock& clock,
                             QObject* parent)
    : AudioRecorder(*backend, clock, sleepPause(), parent) {
    m_ownedBackend = std::move(backend);
}

AudioRecorder::~AudioRecorder() {
    if (m_isRecording) {
        tearDown();
    }
}

AudioRecorder::Pause AudioRecorder::sleepPause() {
    return [](std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); };
}

std::vector<AudioInputDevice> AudioRecorder::availableInputDevices() const {
    return m_backend.inputDevices();
}

std::optional<std::uint32_t> AudioRecorder::deviceID(const QString& uid) const {
    for (const AudioInputDevice& device : m_backend.inputDevices()) {
        if (device.uid == uid) {
            return device.id;
        }
    }
    return std::nullopt;
}

void AudioRecorder::start(const std::optional<QString>& deviceUID) {
    if (m_isRecording) {
        return;
    }
    m_isTearingDown = false;
    m_accumulator->reset();
    m_converterCache->removeAll();
    ++m_capture;

    m_engine = m_backend.createStream();
    // A device that is not connected, or cannot be bound, leaves capture on
    // the default input: recording something beats refusing to record.
    if (deviceUID && deviceID(*deviceUID)) {
        if (!m_engine->selectDevice(*deviceUID)) {
            qCWarning(lcRecording).noquote()
                << "Could not select input device" << *deviceUID << "- using the default input";
        }
    } else if (deviceUID) {
        qCInfo(lcRecording).noquote()
            << "Input device" << *deviceUID << "is not connected - using the default input";
    }

    try {
        installTap();
    } catch (const AudioRecorderError&) {
        m_engine.reset();
        throw;
    }

    m_configChangeObserver = connect(&m_backend, &AudioInputBackend::configurationChanged, this,
                                     &AudioRecorder::configurationChanged, Qt::QueuedConnection);

    if (const std::optional<QString> failure = m_engine->start()) {
        if (m_tapInstalled) {
            m_engine->removeTap();
            m_tapInstalled = false;
        }
        disconnect(m_configChangeObserver);
        m_engine.reset();
        throw AudioRecorderError::engineStartFailed(*failure);
    }
    m_isRecording = true;
}

SampleBuffer AudioRecorder::stop() {
    if (!m_isRecording) {
        return {};
    }
    m_isTearingDown = true;
    m_isRecording = false;
    tearDown();
    m_isTearingDown = false;
    return m_accumulator->takeAll();
}

void AudioRecorder::tearDown() {
    ++m_capture;
    m_configChangeDebounceTask.reset();
    disconnect(m_configChangeObserver);
    if (m_engine) {
        if (m_tapInstalled) {
            m_engine->removeTap();
            m_tapInstalled = false;
        }
        m_engine->stop();
        m_engine.reset();
    }
    m_converterCache->removeAll();
    m_isReconfiguring = false;
}

std::optional<AudioRecorderError> AudioRecorder::tryInstallTap() {
    const AudioFormat format = m_engine->inputFormat();
    if (format.channels <= 0 || !(format.sampleRate > 0.0)) {
        return AudioRecorderError::invalidInputFormat();
    }
    if (!m_converterCache->converter(format)) {
        return AudioRecorderError::converterUnavailable();
    }
    m_engine->installTap(tapHandler());
    m_tapInstalled = true;
    return std::nullopt;
}

void AudioRecorder::installTap() {
    for (int retriesLeft = tapRetries;; --retriesLeft) {
        std::optional<AudioRecorderError> failure = tryInstallTap();
        if (!failure) {
            return;
        }
        if (failure->errorCase() != AudioRecorderError::Case::invalidInputFormat ||
            retriesLeft == 0) {
            throw *failure;
        }
        m_pause(tapRetryPause);
    }
}

AudioInputStream::BlockHandler AudioRecorder::tapHandler() const {
    // Captures the shared objects only: the handler runs on the audio thread
    // and never touches the recorder itself.
    return [cache = m_converterCache, accumulator = m_accumulator](
               const AudioFormat& format, const std::uint8_t* const* planes, int frameCount) {
        const std::shared_ptr<AudioConverter> converter = cache->converter(format);
        if (!converter) {
            return;
        }
        const SampleBuffer samples = converter->convert(planes, frameCount);
        if (samples.empty()) {
            return;
        }
        accumulator->append(samples);
    };
}

void AudioRecorder::configurationChanged() {
    if (!m_isRecording || m_isTearingDown) {
        return;
    }
    const quint64 ticket = ++m_nextTicket;
    m_configChangeDebounceTask = ticket;
    m_clock.schedule(configurationChangeDebounce, this, [this, ticket] { reconfigure(ticket); });
}

void AudioRecorder::reconfigure(quint64 ticket) {
    if (m_configChangeDebounceTask != ticket) {
        return;
    }
    m_configChangeDebounceTask.reset();
    if (!m_isRecording || m_isTearingDown || !m_engine || m_isReconfiguring) {
        return;
    }
    qCInfo(lcRecording) << "Audio inputs changed while recording; re-attaching capture";
    m_isReconfiguring = true;
    if (m_tapInstalled) {
        m_engine->removeTap();
        m_tapInstalled = false;
    }
    reinstallTap(tapRetries, m_capture);
}

void AudioRecorder::reinstallTap(int retriesLeft, quint64 capture) {
    const std::optional<AudioRecorderError> failure = tryInstallTap();
    if (!failure) {
        resumeAfterReconfiguration();
        return;
    }
    if (failure->errorCase() == AudioRecorderError::Case::invalidInputFormat && retriesLeft > 0) {
        // Not a blocking pause here: the main thread keeps serving the user.
        m_clock.schedule(tapRetryPause, this, [this, retriesLeft, capture] {
            if (capture == m_capture && m_engine) {
                reinstallTap(retriesLeft - 1, capture);
            }
        });
        return;
    }
    qCWarning(lcRecording).noquote() << "Could not re-attach capture:" << failure->description();
    abortCapture(microphoneSwitchedMessage());
}

void AudioRecorder::resumeAfterReconfiguration() {
    if (!m_engine->isRunning()) {
        if (const std::optional<QString> failure = m_engine->start()) {
            qCWarning(lcRecording).noquote() << "Could not restart capture:" << *failure;
            abortCapture(microphoneSwitchedMessage());
            return;
        }
    }
    m_isReconfiguring = false;
}

void AudioRecorder::abortCapture(const QString& message) {
    if (m_isTearingDown) {
        return;
    }
    m_isTearingDown = true;
    m_isRecording = false;
    tearDown();
    m_isTearingDown = false;
    // The samples stay until the next start empties them; stop() returns
    // nothing now that the recording has ended.
    if (m_delegate) {
        m_delegate->audioRecorderDidAbort(message);
    }
}
