#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// Collects every log message emitted while it exists (category and text), so
// tests can assert on the application's log lines.
class LogCapture {
public:
    struct Entry {
        QtMsgType type;
        QString category;
        QString message;
    };

    LogCapture();
    ~LogCapture();

    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QList<Entry> entries() const;
    // Messages of one category, in order.
    QStringList messages(const QString& category) const;
    bool contains(const QString& category, const QString& fragment) const;

private:
    QtMessageHandler m_previous;
};
