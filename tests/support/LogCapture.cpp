#include "LogCapture.h"

#include <QMutex>
#include <QStringList>

namespace {

QMutex captureMutex;
QList<LogCapture::Entry> capturedEntries;

void captureHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const QMutexLocker lock(&captureMutex);
    capturedEntries.append(
        {type, QString::fromUtf8(context.category ? context.category : "default"), message});
}

} // namespace

LogCapture::LogCapture() {
    const QMutexLocker lock(&captureMutex);
    capturedEntries.clear();
    m_previous = qInstallMessageHandler(captureHandler);
}

LogCapture::~LogCapture() { qInstallMessageHandler(m_previous); }

QList<LogCapture::Entry> LogCapture::entries() const {
    const QMutexLocker lock(&captureMutex);
    return capturedEntries;
}

QStringList LogCapture::messages(const QString& category) const {
    QStringList result;
    for (const auto& entry : entries()) {
        if (entry.category == category) {
            result.append(entry.message);
        }
    }
    return result;
}

bool LogCapture::contains(const QString& category, const QString& fragment) const {
    for (const auto& message : messages(category)) {
        if (message.contains(fragment)) {
            return true;
        }
    }
    return false;
}
