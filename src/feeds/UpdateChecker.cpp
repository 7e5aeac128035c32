#include "feeds/UpdateChecker.h"

#include "common/Logging.h"
#include "platform/Clock.h"
#include "store/DefaultsStore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSslConfiguration>
#include <qcoro/qcoronetworkreply.h>

#include <algorithm>
#include <memory>

namespace {

const QString updateAvailablePrefix = QStringLiteral("Version ");
const QString updateAvailableSuffix = QStringLiteral(" is available");
const QString upToDateMessage = QStringLiteral("Your software is up to date");
const QString failedMessage = QStringLiteral("Couldn\u2019t check for updates. Try again later.");

// One version piece as an integer: spaces and tabs trimmed, an optional sign,
// then decimal digits only; anything else counts as 0.
qint64 versionComponent(QStringView piece) {
    while (!piece.isEmpty() && (piece.front() == u' ' || piece.front() == u'\t')) {
        piece = piece.mid(1);
    }
    while (!piece.isEmpty() && (piece.back() == u' ' || piece.back() == u'\t')) {
        piece.chop(1);
    }
    QStringView digits = piece;
    if (!digits.isEmpty() && (digits.front() == u'+' || digits.front() == u'-')) {
        digits = digits.mid(1);
    }
    if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(),
                                         [](QChar c) { return c >= u'0' && c <= u'9'; })) {
        return 0;
    }
    bool ok = false;
    const qint64 value = piece.toLongLong(&ok);
    return ok ? value : 0;
}

QList<qint64> versionComponents(const QString& version) {
    QList<qint64> components;
    for (const QStringView piece : QStringView(version).split(u'.', Qt::SkipEmptyParts)) {
        components.append(versionComponent(piece));
    }
    return components;
}

} // namespace

std::optional<UpdateFeed> UpdateFeed::decode(const QByteArray& data, QString* error) {
    auto fail = [error](const QString& reason) -> std::optional<UpdateFeed> {
        if (error) {
            *error = reason;
        }
        return std::nullopt;
    };
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        return fail(QStringLiteral("The data isn't valid JSON: %1").arg(parseError.errorString()));
    }
    if (!document.isObject()) {
        return fail(QStringLiteral("The update document is not a JSON object."));
    }
    const QJsonObject object = document.object();
    for (const char* key : {"version", "download_url", "release_notes"}) {
        if (!object.value(QLatin1String(key)).isString()) {
            return fail(QStringLiteral("The update document has no string \"%1\".")
                            .arg(QLatin1String(key)));
        }
    }
    const QUrl url(object.value(QLatin1String("download_url")).toString(), QUrl::StrictMode);
    if (!url.isValid() || url.isEmpty()) {
        return fail(QStringLiteral("The update document's \"download_url\" is not a URL."));
    }
    return UpdateFeed{object.value(QLatin1String("version")).toString(), url,
                      object.value(QLatin1String("release_notes")).toString()};
}

QString UpdateCheckOutcome::message() const {
    switch (kind) {
    case Kind::updateAvailable:
        return updateAvailablePrefix + (feed ? feed->version : QString()) + updateAvailableSuffix;
    case Kind::upToDate:
    case Kind::throttled:
        return upToDateMessage;
    case Kind::failed:
        break;
    }
    return failedMessage;
}

QUrl UpdateChecker::defaultFeedURL() { return QUrl(QStringLiteral(MURMEX_UPDATE_FEED_URL)); }

UpdateChecker::UpdateChecker(DefaultsStore& defaults, Clock& clock, QUrl feedURL,
                             QString currentVersion,
                             QList<QSslCertificate> extraTrustedCertificates, QObject* parent)
    : QObject(parent)
    , m_feedURL(std::move(feedURL))
    , m_defaults(defaults)
    , m_clock(clock)
    , m_currentVersion(currentVersion.isEmpty() ? QStringLiteral("0") : std::move(currentVersion))
    , m_extraTrustedCertificates(std::move(extraTrustedCertificates)) {}

int UpdateChecker::compareVersions(const QString& a, const QString& b) {
    const QList<qint64> left = versionComponents(a);
    const QList<qint64> right = versionComponents(b);
    const qsizetype count = std::max(left.size(), right.size());
    for (qsizetype i = 0; i < count; ++i) {
        const qint64 l = i < left.size() ? left[i] : 0;
        const qint64 r = i < right.size() ? right[i] : 0;
        if (l != r) {
            return l > r ? 1 : -1;
        }
    }
    return 0;
}

void UpdateChecker::setAvailableUpdate(std::optional<UpdateFeed> update) {
    if (update == m_availableUpdate) {
        return;
    }
    m_availableUpdate = std::move(update);
    emit availableUpdateChanged(m_availableUpdate);
}

QCoro::Task<UpdateCheckOutcome> UpdateChecker::check(bool force) {
    using Kind = UpdateCheckOutcome::Kind;
    if (!force) {
        const std::optional<QDateTime> last =
            m_defaults.dateValue(QString::fromLatin1(lastCheckKey));
        if (last && last->isValid() &&
            last->msecsTo(m_clock.currentDateTime()) < qint64(minimumInterval * 1000.0)) {
            co_return UpdateCheckOutcome{Kind::throttled, std::nullopt};
        }
    }

    QNetworkRequest request(m_feedURL);
    if (!m_extraTrustedCertificates.isEmpty()) {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.addCaCertificates(m_extraTrustedCertificates);
        request.setSslConfiguration(ssl);
    }
    // The reply belongs to the session: if this object goes away while the
    // transfer runs, the reply goes with it and nothing here is touched.
    QPointer<UpdateChecker> self(this);
    QNetworkReply* pending = m_session.get(request);
    QPointer<QNetworkReply> guard(pending);
    co_await pending;
    if (!self || !guard) {
        co_return UpdateCheckOutcome{Kind::failed, std::nullopt};
    }
    const std::unique_ptr<QNetworkReply> reply(pending);

    // The HTTP status is not examined: an error page simply fails to decode.
    // Only a transfer that brought no response at all fails here.
    QString error;
    std::optional<UpdateFeed> feed;
    if (reply->error() != QNetworkReply::NoError &&
        !reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
        error = reply->errorString();
    } else {
        feed = UpdateFeed::decode(reply->readAll(), &error);
    }
    if (!feed) {
        qCWarning(lcUpdate, "Update check failed: %s", qUtf8Printable(error));
        co_return UpdateCheckOutcome{Kind::failed, std::nullopt};
    }

    m_defaults.setDate(QString::fromLatin1(lastCheckKey), m_clock.currentDateTime());
    if (compareVersions(feed->version, m_currentVersion) == 1) {
        setAvailableUpdate(feed);
        co_return UpdateCheckOutcome{Kind::updateAvailable, feed};
    }
    setAvailableUpdate(std::nullopt);
    co_return UpdateCheckOutcome{Kind::upToDate, std::nullopt};
}
