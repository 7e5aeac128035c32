#include "common/Logging.h"

#include <QFileInfo>
#include <QString>

#include <cstdio>

#ifdef MURMEX_HAVE_SYSTEMD
#include <syslog.h>
#include <systemd/sd-journal.h>
#endif

Q_LOGGING_CATEGORY(lcRecording, "com.murmex.app.Recording")
Q_LOGGING_CATEGORY(lcMediaTranscription, "com.murmex.app.MediaTranscription")
Q_LOGGING_CATEGORY(lcModelResidency, "com.murmex.app.ModelResidency")
Q_LOGGING_CATEGORY(lcNews, "com.murmex.app.News")
Q_LOGGING_CATEGORY(lcUpdate, "com.murmex.app.Update")
Q_LOGGING_CATEGORY(lcCleanup, "app.murmex.cleanup")
Q_LOGGING_CATEGORY(lcSettings, "com.murmex.app.Settings")
Q_LOGGING_CATEGORY(lcHistory, "com.murmex.app.History")

namespace {

const char* levelName(QtMsgType type) {
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "critical";
    case QtFatalMsg:
        return "fatal";
    }
    return "info";
}

#ifdef MURMEX_HAVE_SYSTEMD
int journalPriority(QtMsgType type) {
    switch (type) {
    case QtDebugMsg:
        return LOG_DEBUG;
    case QtInfoMsg:
        return LOG_INFO;
    case QtWarningMsg:
        return LOG_WARNING;
    case QtCriticalMsg:
        return LOG_CRIT;
    case QtFatalMsg:
        return LOG_ALERT;
    }
    return LOG_INFO;
}

bool journalAvailable() {
    static const bool available = QFileInfo::exists(QStringLiteral("/run/systemd/journal/socket"));
    return available;
}
#endif

void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const QByteArray category = context.category ? QByteArray(context.category) : "default";
    const QByteArray text = message.toUtf8();
#ifdef MURMEX_HAVE_SYSTEMD
    if (journalAvailable()) {
        sd_journal_send("MESSAGE=%s", text.constData(), "PRIORITY=%d", journalPriority(type),
                        "CATEGORY=%s", category.constData(), "SYSLOG_IDENTIFIER=murmex", nullptr);
        return;
    }
#endif
    std::fprintf(stderr, "murmex %s [%s] %s\n", levelName(type), category.constData(),
                 text.constData());
    std::fflush(stderr);
}

} // namespace

namespace Logging {

void installMessageHandler() { qInstallMessageHandler(messageHandler); }

} // namespace Logging
