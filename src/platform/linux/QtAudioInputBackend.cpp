#include "platform/linux/QtAudioInputBackend.h"

#include "platform/linux/QtAudioInputStream.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QMetaMethod>

QtAudioInputBackend::QtAudioInputBackend(QObject* parent)
    : AudioInputBackend(parent)
    , m_mediaDevices(std::make_unique<QMediaDevices>()) {
    connect(m_mediaDevices.get(), &QMediaDevices::audioInputsChanged, this,
            &AudioInputBackend::configurationChanged, Qt::QueuedConnection);
    // Qt 6.4's PulseAudio devices never emit audioInputsChanged although
    // their list follows the server, so changes are also found by comparing
    // that list (and the default input) with the last look. This runs only
    // while someone listens, which the recorder does only while recording.
    m_pollTimer.setInterval(pollInterval);
    connect(&m_pollTimer, &QTimer::timeout, this, &QtAudioInputBackend::poll);
}

// Counted by hand: asking Qt whether a signal is still connected from inside
// disconnectNotify deadlocks on the lock Qt holds there.
void QtAudioInputBackend::connectNotify(const QMetaMethod& signal) {
    if (signal != QMetaMethod::fromSignal(&AudioInputBackend::configurationChanged)) {
        return;
    }
    if (m_listeners++ == 0) {
        m_lastSnapshot = snapshot();
        m_pollTimer.start();
    }
}

void QtAudioInputBackend::disconnectNotify(const QMetaMethod& signal) {
    if (signal != QMetaMethod::fromSignal(&AudioInputBackend::configurationChanged) ||
        m_listeners == 0) {
        return;
    }
    if (--m_listeners == 0) {
        m_pollTimer.stop();
    }
}

QStringList QtAudioInputBackend::snapshot() {
    QStringList state{QString::fromUtf8(QMediaDevices::defaultAudioInput().id())};
    for (const QAudioDevice& device : QMediaDevices::audioInputs()) {
        state << QString::fromUtf8(device.id()) << device.description();
    }
    return state;
}

void QtAudioInputBackend::poll() {
    QStringList current = snapshot();
    if (current != m_lastSnapshot) {
        m_lastSnapshot = std::move(current);
        emit configurationChanged();
    }
}

QtAudioInputBackend::~QtAudioInputBackend() = default;

std::vector<AudioInputDevice> QtAudioInputBackend::inputDevices() const {
    std::vector<AudioInputDevice> devices;
    for (const QAudioDevice& device : QMediaDevices::audioInputs()) {
        const QString uid = QString::fromUtf8(device.id());
        const QString name = device.description();
        if (uid.isEmpty() || name.isEmpty() || QtAudioInputStream::isMonitor(uid)) {
            continue;
        }
        devices.push_back(AudioInputDevice{.id = idFor(uid), .uid = uid, .name = name});
    }
    return devices;
}

std::unique_ptr<AudioInputStream> QtAudioInputBackend::createStream() {
    return std::make_unique<QtAudioInputStream>();
}

std::uint32_t QtAudioInputBackend::idFor(const QString& uid) const {
    const std::lock_guard lock(m_idLock);
    const auto found = m_ids.constFind(uid);
    if (found != m_ids.constEnd()) {
        return found.value();
    }
    const auto id = static_cast<std::uint32_t>(m_ids.size() + 1);
    m_ids.insert(uid, id);
    return id;
}
