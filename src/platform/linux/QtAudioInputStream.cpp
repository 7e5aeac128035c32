#include "platform/linux/QtAudioInputStream.h"

#include <QAudioSource>
#include <QByteArray>
#include <QIODevice>
#include <QMediaDevices>
#include <QMetaObject>
#include <QThread>

#include <utility>

// Receives what the audio source reads from the server and hands it on in
// whole frames: the server may split a frame between two reads.
class BlockSink final : public QIODevice {
public:
    BlockSink(AudioInputStream::BlockHandler handler, AudioFormat format, int bytesPerFrame)
        : m_handler(std::move(handler))
        , m_format(format)
        , m_bytesPerFrame(bytesPerFrame) {}

protected:
    qint64 readData(char*, qint64) override { return -1; }

    qint64 writeData(const char* data, qint64 length) override {
        m_pending.append(data, length);
        const qsizetype frames = m_pending.size() / m_bytesPerFrame;
        if (frames > 0 && m_handler) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(m_pending.constData());
            const std::uint8_t* const planes[] = {bytes};
            m_handler(m_format, planes, static_cast<int>(frames));
        }
        m_pending.remove(0, frames * m_bytesPerFrame);
        return length;
    }

private:
    AudioInputStream::BlockHandler m_handler;
    AudioFormat m_format;
    int m_bytesPerFrame;
    QByteArray m_pending;
};

namespace {

QString describe(QAudio::Error error) {
    switch (error) {
    case QAudio::NoError:
        return QString();
    case QAudio::OpenError:
        return QStringLiteral("the audio server could not open the input");
    case QAudio::IOError:
        return QStringLiteral("the audio server stopped delivering audio");
    case QAudio::UnderrunError:
        return QStringLiteral("the input delivered no audio");
    case QAudio::FatalError:
        break;
    }
    return QStringLiteral("the audio server reported an error");
}

} // namespace

QtAudioInputStream::QtAudioInputStream()
    : m_thread(std::make_unique<QThread>())
    , m_threadContext(std::make_unique<QObject>()) {
    m_thread->setObjectName(QStringLiteral("audio capture"));
    m_threadContext->moveToThread(m_thread.get());
    m_thread->start(QThread::TimeCriticalPriority);
}

QtAudioInputStream::~QtAudioInputStream() {
    stop();
    m_thread->quit();
    m_thread->wait();
}

template <typename Function>
void QtAudioInputStream::onAudioThread(Function&& function) const {
    QMetaObject::invokeMethod(m_threadContext.get(), std::forward<Function>(function),
                              Qt::BlockingQueuedConnection);
}

bool QtAudioInputStream::isMonitor(const QString& uid) {
    return uid.endsWith(QLatin1String(".monitor"));
}

AudioFormat QtAudioInputStream::audioFormat(const QAudioFormat& format) {
    SampleFormat sampleFormat = SampleFormat::unknown;
    switch (format.sampleFormat()) {
    case QAudioFormat::UInt8:
        sampleFormat = SampleFormat::uint8;
        break;
    case QAudioFormat::Int16:
        sampleFormat = SampleFormat::int16;
        break;
    case QAudioFormat::Int32:
        sampleFormat = SampleFormat::int32;
        break;
    case QAudioFormat::Float:
        sampleFormat = SampleFormat::float32;
        break;
    default:
        break;
    }
    return AudioFormat{.sampleRate = static_cast<double>(format.sampleRate()),
                       .channels = format.channelCount(),
                       .sampleFormat = sampleFormat};
}

QAudioDevice QtAudioInputStream::currentDevice() const {
    if (!m_boundUID) {
        return QMediaDevices::defaultAudioInput();
    }
    // A bound device that has gone away stays gone: capture must not move to
    // another microphone behind the user's back.
    for (const QAudioDevice& device : QMediaDevices::audioInputs()) {
        if (QString::fromUtf8(device.id()) == *m_boundUID) {
            return device;
        }
    }
    return QAudioDevice();
}

bool QtAudioInputStream::selectDevice(const QString& uid) {
    if (isMonitor(uid)) {
        return false;
    }
    for (const QAudioDevice& device : QMediaDevices::audioInputs()) {
        if (QString::fromUtf8(device.id()) == uid) {
            m_boundUID = uid;
            return true;
        }
    }
    return false;
}

AudioFormat QtAudioInputStream::inputFormat() {
    m_device = currentDevice();
    m_format = m_device.isNull() ? QAudioFormat() : m_device.preferredFormat();
    if (m_device.isNull() || !m_format.isValid()) {
        return AudioFormat{};
    }
    return audioFormat(m_format);
}

void QtAudioInputStream::installTap(BlockHandler handler) { m_handler = std::move(handler); }

void QtAudioInputStream::removeTap() {
    // The source writes straight into the tap, so the tap goes with it.
    stop();
    m_handler = nullptr;
}

std::optional<QString> QtAudioInputStream::start() {
    stop();
    if (m_device.isNull() || !m_format.isValid() || !m_handler) {
        return QStringLiteral("no input device is available");
    }
    std::optional<QString> failure;
    onAudioThread([&] {
        m_source = new QAudioSource(m_device, m_format);
        m_sink = new BlockSink(m_handler, audioFormat(m_format), m_format.bytesPerFrame());
        m_sink->open(QIODevice::WriteOnly);
        m_source->start(m_sink);
        if (m_source->error() != QAudio::NoError) {
            failure = describe(m_source->error());
        }
    });
    if (failure) {
        stop();
    }
    return failure;
}

void QtAudioInputStream::stop() {
    if (m_source == nullptr) {
        return;
    }
    onAudioThread([this] {
        m_source->stop();
        delete m_source;
        m_source = nullptr;
        delete m_sink;
        m_sink = nullptr;
    });
}

bool QtAudioInputStream::isRunning() const {
    if (m_source == nullptr) {
        return false;
    }
    bool running = false;
    onAudioThread([&] {
        running = m_source->error() == QAudio::NoError && m_source->state() != QAudio::StoppedState;
    });
    return running;
}
