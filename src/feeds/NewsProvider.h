#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <QUrl>
#include <qcoro/qcorotask.h>

#include <optional>

class DefaultsStore;

// One entry of the home screen's "What's new" section.
struct NewsItem {
    QString id;
    QString title;
    QString body;
    std::optional<QDateTime> date;
    std::optional<QUrl> link;

    bool operator==(const NewsItem&) const = default;
};

// Supplies the news items: the last feed accepted (kept in the defaults
// store), or two built-in items when there is none, refreshed from a JSON feed
// over https when a feed URL is configured. Main thread only.
class NewsProvider : public QObject {
    Q_OBJECT

public:
    static constexpr const char* cacheKey = "news.cachedFeed";

    // The build's feed URL; empty when the build configures none.
    static QUrl defaultFeedURL();

    static QList<NewsItem> builtInItems();

    // With no `feedURL` a refresh does nothing. `extraTrustedCertificates` are
    // trusted in addition to the system's authorities.
    explicit NewsProvider(DefaultsStore& defaults, std::optional<QUrl> feedURL = std::nullopt,
                          QList<QSslCertificate> extraTrustedCertificates = {},
                          QObject* parent = nullptr);

    const QList<NewsItem>& items() const { return m_items; }
    std::optional<QUrl> feedURL() const { return m_feedURL; }

    // The cached items, or none when there is no cache, it does not decode, or
    // it holds no item.
    std::optional<QList<NewsItem>> loadCache() const;

    // Decodes a feed document: a JSON array of objects with "title" and "body"
    // (required strings) and optional "id", "date" and "link" strings. Gives
    // none and sets `error` when the document is not such an array.
    static std::optional<QList<NewsItem>> decodeFeed(const QByteArray& data,
                                                     QString* error = nullptr);

    // Fetches the feed and takes its items when it has at least one; every
    // failure keeps the current items and the cache.
    QCoro::Task<> refresh();

signals:
    void itemsChanged(const QList<NewsItem>& items);

private:
    QList<NewsItem> m_items;
    std::optional<QUrl> m_feedURL;
    DefaultsStore& m_defaults;
    QNetworkAccessManager m_session;
    QList<QSslCertificate> m_extraTrustedCertificates;
};
