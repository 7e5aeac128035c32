#include "PulseAudioServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr int startTimeoutMs = 10000;

} // namespace

PulseAudioServer::PulseAudioServer() = default;

PulseAudioServer::~PulseAudioServer() { stop(); }

QString PulseAudioServer::micFifo() const { return m_dir.filePath(QStringLiteral("rt/mic.fifo")); }

bool PulseAudioServer::start() {
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary directory for the audio server");
        return false;
    }
    const QString runtimeDir = m_dir.filePath(QStringLiteral("rt"));
    QDir().mkpath(runtimeDir);
    QFile::setPermissions(runtimeDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    m_hadServer = qEnvironmentVariableIsSet("PULSE_SERVER");
    m_savedServer = qgetenv("PULSE_SERVER");
    m_hadRuntimeDir = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    m_savedRuntimeDir = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtimeDir.toLocal8Bit());
    qputenv("PULSE_SERVER",
            (QStringLiteral("unix:") + runtimeDir + QStringLiteral("/pulse/native")).toLocal8Bit());

    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("PULSE_SERVER"));
    m_process->setProcessEnvironment(environment);
    // The server must not outlive a test process that crashes or is killed.
    m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process->start(
        QStringLiteral("pulseaudio"),
        {QStringLiteral("--daemonize=no"), QStringLiteral("-n"),
         QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--disable-shm=yes"),
         QStringLiteral("--load=module-native-protocol-unix"),
         QStringLiteral("--load=module-null-sink sink_name=spk"),
         QStringLiteral("--load=module-pipe-source source_name=mic file=%1 format=s16le "
                        "rate=%2 channels=%3")
             .arg(micFifo())
             .arg(micSampleRate)
             .arg(micChannels)});
    if (!m_process->waitForStarted(startTimeoutMs)) {
        m_error = QStringLiteral("pulseaudio did not start: ") + m_process->errorString();
        stop();
        return false;
    }

    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < startTimeoutMs) {
        if (m_process->state() != QProcess::Running) {
            break;
        }
        QProcess info;
        info.start(QStringLiteral("pactl"), {QStringLiteral("info")});
        if (info.waitForFinished(startTimeoutMs) && info.exitCode() == 0 &&
            QFile::exists(micFifo())) {
            return true;
        }
        QThread::msleep(50);
    }
    m_process->waitForFinished(100);
    m_error = QStringLiteral("pulseaudio did not answer; its output:\n") +
              QString::fromLocal8Bit(m_process->readAll());
    stop();
    return false;
}

void PulseAudioServer::stop() {
    if (m_fifo >= 0) {
        ::close(m_fifo);
        m_fifo = -1;
    }
    if (m_process) {
        if (m_process->state() == QProcess::Running) {
            QProcess::execute(QStringLiteral("pactl"), {QStringLiteral("exit")});
            if (!m_process->waitForFinished(3000)) {
                m_process->kill();
                m_process->waitForFinished(3000);
            }
        }
        m_process.reset();
        if (m_hadServer) {
            qputenv("PULSE_SERVER", m_savedServer);
        } else {
            qunsetenv("PULSE_SERVER");
        }
        if (m_hadRuntimeDir) {
            qputenv("XDG_RUNTIME_DIR", m_savedRuntimeDir);
        } else {
            qunsetenv("XDG_RUNTIME_DIR");
        }
    }
}

QString PulseAudioServer::pactl(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("pactl"), arguments);
    if (!process.waitForFinished(startTimeoutMs) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        m_error = QStringLiteral("pactl %1 failed: %2")
                      .arg(arguments.join(QLatin1Char(' ')),
                           QString::fromLocal8Bit(process.readAllStandardError()));
        return QString();
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

bool PulseAudioServer::writeToMic(const QByteArray& frames) {
    if (m_fifo < 0) {
        // Read-write keeps the open from waiting for a reader and keeps the
        // fifo from reporting end-of-file to the server between writes.
        m_fifo = ::open(micFifo().toLocal8Bit().constData(), O_RDWR | O_CLOEXEC);
        if (m_fifo < 0) {
            m_error = QStringLiteral("cannot open the mic fifo");
            return false;
        }
    }
    qsizetype written = 0;
    while (written < frames.size()) {
        const ssize_t count = ::write(m_fifo, frames.constData() + written,
                                      static_cast<size_t>(frames.size() - written));
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            m_error = QStringLiteral("writing to the mic fifo failed");
            return false;
        }
        written += count;
    }
    return true;
}
