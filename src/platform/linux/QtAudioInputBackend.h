#pragma once

#include "platform/AudioInputBackend.h"

#include <QHash>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <mutex>

class QMediaDevices;

// The audio server's inputs through Qt Multimedia (PulseAudio, or PipeWire's
// PulseAudio service). A device's persistent id is the server's source name,
// its name the source's description.
class QtAudioInputBackend final : public AudioInputBackend {
    Q_OBJECT

public:
    explicit QtAudioInputBackend(QObject* parent = nullptr);
    ~QtAudioInputBackend() override;

    std::vector<AudioInputDevice> inputDevices() const override;
    std::unique_ptr<AudioInputStream> createStream() override;

    // How often the server's inputs are compared with the last look while
    // anyone listens for changes.
    static constexpr std::chrono::milliseconds pollInterval{100};

protected:
    void connectNotify(const QMetaMethod& signal) override;
    void disconnectNotify(const QMetaMethod& signal) override;

private:
    std::uint32_t idFor(const QString& uid) const;
    // The inputs and the default input as one comparable value.
    static QStringList snapshot();
    void poll();

    QTimer m_pollTimer;
    QStringList m_lastSnapshot;
    int m_listeners = 0;

    std::unique_ptr<QMediaDevices> m_mediaDevices;
    // Source names get numbers in the order they are first seen, so a
    // device keeps its number for as long as the process runs.
    mutable std::mutex m_idLock;
    mutable QHash<QString, std::uint32_t> m_ids;
};
