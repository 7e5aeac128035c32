#pragma once

#include <QDateTime>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <QUrl>
#include <qcoro/qcorotask.h>

#include <optional>

class Clock;
class DefaultsStore;

// The document the update server publishes about the newest release.
struct UpdateFeed {
    QString version;
    QUrl downloadURL;
    QString releaseNotes;

    bool operator==(const UpdateFeed&) const = default;

    // Decodes the JSON document; every key is required. Gives none and sets
    // `error` when the bytes are not such a document.
    static std::optional<UpdateFeed> decode(const QByteArray& data, QString* error = nullptr);
};

// What one check found.
struct UpdateCheckOutcome {
    enum class Kind { updateAvailable, upToDate, failed, throttled };

    Kind kind = Kind::failed;
    std::optional<UpdateFeed> feed; // set for updateAvailable

    // The short message a manual check shows.
    QString message() const;
};

// Asks the update server for the newest released version and publishes the
// document when it is newer than the running version. Automatic checks run at
// most once a day after a successful check; the time of the last successful
// check lives in the defaults store so the limit survives restarts. Nothing
// is ever downloaded or installed here. Main thread only.
class UpdateChecker : public QObject {
    Q_OBJECT

public:
    static constexpr const char* lastCheckKey = "update.lastCheckDate";
    static constexpr double minimumInterval = 86400.0;

    // The build's update document URL.
    static QUrl defaultFeedURL();

    // `extraTrustedCertificates` are trusted in addition to the system's
    // authorities (for a server with its own certificate).
    UpdateChecker(DefaultsStore& defaults, Clock& clock, QUrl feedURL = defaultFeedURL(),
                  QString currentVersion = QStringLiteral(MURMEX_VERSION),
                  QList<QSslCertificate> extraTrustedCertificates = {}, QObject* parent = nullptr);

    const std::optional<UpdateFeed>& availableUpdate() const { return m_availableUpdate; }
    QUrl feedURL() const { return m_feedURL; }
    QString currentVersion() const { return m_currentVersion; }

    // Fetches the document unless `force` is false and the last successful
    // check is less than a day old.
    QCoro::Task<UpdateCheckOutcome> check(bool force);

    // -1, 0 or 1 as `a` is older than, equal to or newer than `b`, comparing
    // dot-separated integers (a piece that is not a number counts as 0).
    static int compareVersions(const QString& a, const QString& b);

signals:
    void availableUpdateChanged(const std::optional<UpdateFeed>& update);

private:
    void setAvailableUpdate(std::optional<UpdateFeed> update);

    std::optional<UpdateFeed> m_availableUpdate;
    QUrl m_feedURL;
    DefaultsStore& m_defaults;
    Clock& m_clock;
    QNetworkAccessManager m_session;
    QString m_currentVersion;
    QList<QSslCertificate> m_extraTrustedCertificates;
};
