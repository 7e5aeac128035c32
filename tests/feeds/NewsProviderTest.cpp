#include "feeds/NewsProvider.h"

#include "AwaitTask.h"
#include "HttpsServer.h"
#include "LogCapture.h"
#include "TestEnvironment.h"
#include "store/DefaultsStore.h"

#include <QTimeZone>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QString feedPath = QStringLiteral("/news/feed.json");

const QByteArray twoItemFeed = R"([
  {"id": "release-1-5", "title": "Murmex 1.5", "body": "Smaller models.",
   "date": "2026-02-14", "link": "https://murmex.app/blog/1-5"},
  {"title": "No id here", "body": "The title stands in."}
])";

class NewsProviderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_server = std::make_unique<HttpsServer>(); }
    static void TearDownTestSuite() { s_server.reset(); }

    void SetUp() override {
        ASSERT_TRUE(s_server->isRunning()) << s_server->output().toStdString();
        s_server->writeFile(feedPath, twoItemFeed);
    }

    std::unique_ptr<NewsProvider> makeProvider() {
        return std::make_unique<NewsProvider>(m_defaults, s_server->url(feedPath),
                                              QList<QSslCertificate>{s_server->certificate()});
    }

    static QStringList ids(const QList<NewsItem>& items) {
        QStringList result;
        for (const NewsItem& item : items) {
            result.append(item.id);
        }
        return result;
    }

    static std::unique_ptr<HttpsServer> s_server;
    ScopedTestHome m_home;
    DefaultsStore m_defaults{m_home.path("defaults.json")};
};

std::unique_ptr<HttpsServer> NewsProviderTest::s_server;

TEST_F(NewsProviderTest, FreshInstallationShowsTheBuiltInItemsAndRefreshDoesNothing) {
    NewsProvider provider(m_defaults);
    EXPECT_EQ(provider.feedURL(), std::nullopt);
    ASSERT_EQ(provider.items().size(), 2);
    EXPECT_EQ(provider.items()[0].id, "welcome");
    EXPECT_EQ(provider.items()[0].title, "Welcome to Murmex");
    EXPECT_EQ(provider.items()[1].id, "tip-hands-free");
    EXPECT_EQ(provider.items()[1].title, "Tip: hands-free dictation");
    EXPECT_EQ(provider.items()[0].date, std::nullopt);
    EXPECT_EQ(provider.items()[0].link, std::nullopt);

    awaitTask(provider.refresh());
    EXPECT_EQ(provider.items(), NewsProvider::builtInItems());
    EXPECT_FALSE(m_defaults.contains("news.cachedFeed"));
}

TEST_F(NewsProviderTest, BuildConfiguresNoFeedByDefault) {
    EXPECT_TRUE(NewsProvider::defaultFeedURL().isEmpty());
    NewsProvider provider(m_defaults, NewsProvider::defaultFeedURL());
    EXPECT_EQ(provider.feedURL(), std::nullopt);
}

TEST_F(NewsProviderTest, RefreshTakesTheFeedAndCachesItsBytes) {
    auto provider = makeProvider();
    int changes = 0;
    QObject::connect(provider.get(), &NewsProvider::itemsChanged, [&] { ++changes; });

    awaitTask(provider->refresh());

    EXPECT_EQ(changes, 1);
    ASSERT_EQ(ids(provider->items()), (QStringList{"release-1-5", "No id here"}));
    const NewsItem& first = provider->items()[0];
    EXPECT_EQ(first.title, "Murmex 1.5");
    EXPECT_EQ(first.body, "Smaller models.");
    EXPECT_EQ(first.date, QDateTime(QDate(2026, 2, 14), QTime(0, 0), QTimeZone::utc()));
    EXPECT_EQ(first.link, QUrl("https://murmex.app/blog/1-5"));
    EXPECT_EQ(m_defaults.dataValue("news.cachedFeed"), twoItemFeed);
}

TEST_F(NewsProviderTest, CacheIsShownByTheNextProvider) {
    awaitTask(makeProvider()->refresh());

    NewsProvider next(m_defaults);
    EXPECT_EQ(ids(next.items()), (QStringList{"release-1-5", "No id here"}));
    EXPECT_EQ(next.loadCache(), next.items());
}

TEST_F(NewsProviderTest, UnusableCacheIsIgnoredAtStart) {
    for (const QByteArray& cache :
         {QByteArray("not json"), QByteArray("[]"), QByteArray(R"([{"title": "no body"}])")}) {
        SCOPED_TRACE(cache.toStdString());
        m_defaults.setData("news.cachedFeed", cache);
        NewsProvider provider(m_defaults);
        EXPECT_EQ(provider.loadCache(), std::nullopt);
        EXPECT_EQ(provider.items(), NewsProvider::builtInItems());
    }
}

TEST_F(NewsProviderTest, FailedOrEmptyRefreshKeepsItemsAndCache) {
    struct Case {
        const char* name;
        QByteArray body; // empty: no file (404)
        bool logs;
    };
    const Case cases[] = {
        {"not found", {}, true},
        {"not JSON", "<html>oops</html>", true},
        {"object instead of array", R"({"title": "x", "body": "y"})", true},
        {"title not a string", R"([{"title": 1, "body": "y"}])", true},
        {"link not a string", R"([{"title": "x", "body": "y", "link": 5}])", true},
        {"empty array", "[]", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        s_server->writeFile(feedPath, twoItemFeed);
        auto provider = makeProvider();
        awaitTask(provider->refresh());
        const QList<NewsItem> before = provider->items();
        ASSERT_EQ(before.size(), 2);

        if (c.body.isEmpty()) {
            s_server->removeFile(feedPath);
        } else {
            s_server->writeFile(feedPath, c.body);
        }
        LogCapture log;
        awaitTask(provider->refresh());

        EXPECT_EQ(provider->items(), before);
        EXPECT_EQ(m_defaults.dataValue("news.cachedFeed"), twoItemFeed);
        const QStringList lines = log.messages("com.murmex.app.News");
        ASSERT_EQ(lines.size(), c.logs ? 1 : 0);
        if (c.logs) {
            EXPECT_TRUE(lines.first().startsWith("News refresh failed, keeping cached items: "));
        }
    }
}

TEST(NewsFeedDecodingTest, ConvertsDatesAndLinksLeniently) {
    struct Case {
        const char* name;
        QByteArray item;
        std::optional<QDateTime> date;
        std::optional<QUrl> link;
    };
    const QDateTime pi(QDate(2025, 3, 14), QTime(0, 0), QTimeZone::utc());
    const Case cases[] = {
        {"full date", R"("date": "2025-03-14")", pi, std::nullopt},
        {"timestamp dropped", R"("date": "2025-03-14T10:00:00Z")", std::nullopt, std::nullopt},
        {"impossible day dropped", R"("date": "2025-02-30")", std::nullopt, std::nullopt},
        {"words dropped", R"("date": "March 14")", std::nullopt, std::nullopt},
        {"link kept", R"("link": "https://murmex.app/x")", std::nullopt,
         QUrl("https://murmex.app/x")},
        {"bad link dropped", R"("link": "http://[::1")", std::nullopt, std::nullopt},
        {"empty link dropped", R"("link": "")", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray document = R"([{"title": "T", "body": "B", )" + c.item + "}]";
        const std::optional<QList<NewsItem>> items = NewsProvider::decodeFeed(document);
        ASSERT_TRUE(items.has_value());
        ASSERT_EQ(items->size(), 1);
        EXPECT_EQ(items->first().id, "T");
        EXPECT_EQ(items->first().date, c.date);
        EXPECT_EQ(items->first().link, c.link);
    }
}

} // namespace
