#include "feeds/NewsProvider.h"

#include "common/Logging.h"
#include "store/DefaultsStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QTimeZone>
#include <qcoro/qcoronetworkreply.h>

#include <memory>

namespace {

// A date in the full-date form only (2025-03-14), taken as midnight UTC; a
// timestamp with a time part gives none.
std::optional<QDateTime> parseFullDate(const QString& text) {
    static const QRegularExpression fullDate(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    if (!fullDate.match(text).hasMatch()) {
        return std::nullopt;
    }
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid()) {
        return std::nullopt;
    }
    return QDateTime(date, QTime(0, 0), QTimeZone::utc());
}

} // namespace

QUrl NewsProvider::defaultFeedURL() { return QUrl(QStringLiteral(MURMEX_NEWS_FEED_URL)); }

QList<NewsItem> NewsProvider::builtInItems() {
    return {
        NewsItem{QStringLiteral("welcome"), QStringLiteral("Welcome to Murmex"),
                 QStringLiteral("Hold your hotkey and start talking \u2014 your words are "
                                "transcribed on-device and pasted right where your cursor is."),
                 std::nullopt, std::nullopt},
        NewsItem{QStringLiteral("tip-hands-free"), QStringLiteral("Tip: hands-free dictation"),
                 QStringLiteral("Tap your hotkey to start hands-free recording, then tap again "
                                "to stop. Great for longer notes."),
                 std::nullopt, std::nullopt},
    };
}

NewsProvider::NewsProvider(DefaultsStore& defaults, std::optional<QUrl> feedURL,
                           QList<QSslCertificate> extraTrustedCertificates, QObject* parent)
    : QObject(parent)
    , m_feedURL(std::move(feedURL))
    , m_defaults(defaults)
    , m_extraTrustedCertificates(std::move(extraTrustedCertificates)) {
    if (m_feedURL && m_feedURL->isEmpty()) {
        m_feedURL.reset();
    }
    if (std::optional<QList<NewsItem>> cached = loadCache()) {
        m_items = *cached;
    } else {
        m_items = builtInItems();
    }
}

std::optional<QList<NewsItem>> NewsProvider::loadCache() const {
    const std::optional<QByteArray> data = m_defaults.dataValue(QString::fromLatin1(cacheKey));
    if (!data) {
        return std::nullopt;
    }
    std::optional<QList<NewsItem>> items = decodeFeed(*data);
    if (!items || items->isEmpty()) {
        return std::nullopt;
    }
    return items;
}

std::optional<QList<NewsItem>> NewsProvider::decodeFeed(const QByteArray& data, QString* error) {
    auto fail = [error](const QString& reason) -> std::optional<QList<NewsItem>> {
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
    if (!document.isArray()) {
        return fail(QStringLiteral("The news feed is not a JSON array."));
    }
    QList<NewsItem> items;
    const QJsonArray array = document.array();
    for (qsizetype index = 0; index < array.size(); ++index) {
        if (!array.at(index).isObject()) {
            return fail(QStringLiteral("News item %1 is not an object.").arg(index));
        }
        const QJsonObject object = array.at(index).toObject();
        for (const char* key : {"title", "body"}) {
            if (!object.value(QLatin1String(key)).isString()) {
                return fail(QStringLiteral("News item %1 has no string \"%2\".")
                                .arg(index)
                                .arg(QLatin1String(key)));
            }
        }
        for (const char* key : {"id", "date", "link"}) {
            const QJsonValue value = object.value(QLatin1String(key));
            if (!value.isUndefined() && !value.isString()) {
                return fail(QStringLiteral("News item %1 has a \"%2\" that is not a string.")
                                .arg(index)
                                .arg(QLatin1String(key)));
            }
        }
        NewsItem item;
        item.title = object.value(QLatin1String("title")).toString();
        item.body = object.value(QLatin1String("body")).toString();
        const QJsonValue id = object.value(QLatin1String("id"));
        item.id = id.isString() ? id.toString() : item.title;
        const QJsonValue date = object.value(QLatin1String("date"));
        if (date.isString()) {
            item.date = parseFullDate(date.toString());
        }
        const QJsonValue link = object.value(QLatin1String("link"));
        if (link.isString()) {
            const QUrl url(link.toString(), QUrl::StrictMode);
            if (url.isValid() && !url.isEmpty()) {
                item.link = url;
            }
        }
        items.append(item);
    }
    return items;
}

QCoro::Task<> NewsProvider::refresh() {
    if (!m_feedURL) {
        co_return;
    }
    QNetworkRequest request(*m_feedURL);
    if (!m_extraTrustedCertificates.isEmpty()) {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.addCaCertificates(m_extraTrustedCertificates);
        request.setSslConfiguration(ssl);
    }
    // The reply belongs to the session: if this object goes away while the
    // transfer runs, the reply goes with it and nothing here is touched.
    QPointer<NewsProvider> self(this);
    QNetworkReply* pending = m_session.get(request);
    QPointer<QNetworkReply> guard(pending);
    co_await pending;
    if (!self || !guard) {
        co_return;
    }
    const std::unique_ptr<QNetworkReply> reply(pending);

    // The HTTP status is not examined: an error page simply fails to decode.
    QString error;
    std::optional<QList<NewsItem>> items;
    QByteArray body;
    if (reply->error() != QNetworkReply::NoError &&
        !reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
        error = reply->errorString();
    } else {
        body = reply->readAll();
        items = decodeFeed(body, &error);
    }
    if (!items) {
        qCWarning(lcNews, "News refresh failed, keeping cached items: %s", qUtf8Printable(error));
        co_return;
    }
    if (items->isEmpty()) {
        co_return;
    }
    m_items = *items;
    m_defaults.setData(QString::fromLatin1(cacheKey), body);
    emit itemsChanged(m_items);
}
