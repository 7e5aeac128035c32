#include "MediaFiles.h"

#include <QFile>
#include <QProcess>

namespace MediaFiles {

::testing::AssertionResult generate(const QString& path, const QStringList& arguments) {
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 QStringList{QStringLiteral("-nostdin"), QStringLiteral("-v"),
                             QStringLiteral("error"), QStringLiteral("-y")} +
                     arguments + QStringList{path});
    if (!ffmpeg.waitForFinished(120000) || ffmpeg.exitStatus() != QProcess::NormalExit ||
        ffmpeg.exitCode() != 0 || !QFile::exists(path)) {
        return ::testing::AssertionFailure()
               << "ffmpeg could not produce " << path.toStdString() << ": "
               << ffmpeg.readAll().toStdString() << ffmpeg.errorString().toStdString();
    }
    return ::testing::AssertionSuccess();
}

QStringList sine(int sampleRate, double seconds) {
    return {
        QStringLiteral("-f"), QStringLiteral("lavfi"),
        QStringLiteral("-i"), QStringLiteral("sine=frequency=440:sample_rate=%1").arg(sampleRate),
        QStringLiteral("-t"), QString::number(seconds)};
}

} // namespace MediaFiles
