#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A private PulseAudio server for tests and benchmarks: one null output
// ("spk", with its monitor) and one 48 kHz stereo 16-bit input ("mic") that
// plays whatever is written into its fifo. While it runs, this process's
// PULSE_SERVER and XDG_RUNTIME_DIR point at it; stopping restores them.
class PulseAudioServer {
public:
    static constexpr int micSampleRate = 48000;
    static constexpr int micChannels = 2;

    PulseAudioServer();
    ~PulseAudioServer();
    PulseAudioServer(const PulseAudioServer&) = delete;
    PulseAudioServer& operator=(const PulseAudioServer&) = delete;

    // Starts the server and waits until it answers. False with `error()` set
    // (including the server's own output) when it cannot.
    bool start();
    void stop();
    const QString& error() const { return m_error; }

    // The fifo that feeds the "mic" input.
    QString micFifo() const;

    // Runs pactl against this server; its standard output, or a null string
    // when it fails (with `error()` set).
    QString pactl(const QStringList& arguments);

    // Writes interleaved 16-bit frames into the mic's fifo. Blocks until the
    // server has taken them, which is roughly real time once its buffer fills.
    bool writeToMic(const QByteArray& frames);

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
    QString m_error;
    QByteArray m_savedServer;
    QByteArray m_savedRuntimeDir;
    bool m_hadServer = false;
    bool m_hadRuntimeDir = false;
    int m_fifo = -1;
};
