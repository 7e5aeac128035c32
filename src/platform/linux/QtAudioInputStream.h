#pragma once

#include "platform/AudioInputStream.h"

#include <QAudioDevice>
#include <QAudioFormat>

#include <memory>

class QAudioSource;
class QThread;
class BlockSink;

// One capture through a QAudioSource that lives on a thread of its own: the
// source writes what the server delivers into a sink on that thread, which
// hands whole frames to the tap. Every call on the source goes through that
// thread and waits for it.
class QtAudioInputStream final : public AudioInputStream {
public:
    QtAudioInputStream();
    ~QtAudioInputStream() override;

    bool selectDevice(const QString& uid) override;
    AudioFormat inputFormat() override;
    void installTap(BlockHandler handler) override;
    void removeTap() override;
    std::optional<QString> start() override;
    void stop() override;
    bool isRunning() const override;

    // Whether a source name belongs to the monitor of an output.
    static bool isMonitor(const QString& uid);
    // The sample layout of a Qt format; unknown when the converter cannot read it.
    static AudioFormat audioFormat(const QAudioFormat& format);

private:
    QAudioDevice currentDevice() const;
    template <typename Function>
    void onAudioThread(Function&& function) const;

    std::optional<QString> m_boundUID;
    QAudioDevice m_device;
    QAudioFormat m_format;
    BlockHandler m_handler;

    std::unique_ptr<QThread> m_thread;
    std::unique_ptr<QObject> m_threadContext;
    // Owned by the audio thread: created and destroyed there.
    QAudioSource* m_source = nullptr;
    BlockSink* m_sink = nullptr;
};
