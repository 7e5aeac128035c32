#include "feeds/UpdateChecker.h"

#include "AwaitTask.h"
#include "HttpsServer.h"
#include "LogCapture.h"
#include "ManualClock.h"
#include "TestEnvironment.h"
#include "store/DefaultsStore.h"

#include <QTcpServer>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <memory>

namespace {

using Kind = UpdateCheckOutcome::Kind;

const QString feedPath = QStringLiteral("/updates/latest.json");

QByteArray feedDocument(const QString& version) {
    return QStringLiteral(R"({"version": "%1", "download_url": "https://murmex.app/download/%1",
                             "release_notes": "Faster and smaller."})")
        .arg(version)
        .toUtf8();
}

class UpdateCheckerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_server = std::make_unique<HttpsServer>(); }
    static void TearDownTestSuite() { s_server.reset(); }

    void SetUp() override {
        ASSERT_TRUE(s_server->isRunning()) << s_server->output().toStdString();
        s_server->writeFile(feedPath, feedDocument(QStringLiteral("1.5.0")));
        m_clock.setCurrentDateTime(QDateTime(QDate(2026, 3, 1), QTime(9, 0), QTimeZone::utc()));
    }

    std::unique_ptr<UpdateChecker> makeChecker(const QString& currentVersion = "1.4",
                                               const QString& path = feedPath) {
        return std::make_unique<UpdateChecker>(m_defaults, m_clock, s_server->url(path),
                                               currentVersion,
                                               QList<QSslCertificate>{s_server->certificate()});
    }

    UpdateCheckOutcome check(UpdateChecker& checker, bool force) {
        return awaitTask(checker.check(force));
    }

    static std::unique_ptr<HttpsServer> s_server;
    ScopedTestHome m_home;
    DefaultsStore m_defaults{m_home.path("defaults.json")};
    ManualClock m_clock;
};

std::unique_ptr<HttpsServer> UpdateCheckerTest::s_server;

TEST_F(UpdateCheckerTest, NewerFeedVersionIsPublishedAndRecordsTheCheckTime) {
    auto checker = makeChecker("1.4");
    int changes = 0;
    QObject::connect(checker.get(), &UpdateChecker::availableUpdateChanged, [&] { ++changes; });

    const UpdateCheckOutcome outcome = check(*checker, false);

    ASSERT_EQ(outcome.kind, Kind::updateAvailable);
    const UpdateFeed expected{"1.5.0", QUrl("https://murmex.app/download/1.5.0"),
                              "Faster and smaller."};
    EXPECT_EQ(outcome.feed, expected);
    EXPECT_EQ(checker->availableUpdate(), expected);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(outcome.message(), "Version 1.5.0 is available");
    EXPECT_EQ(m_defaults.dateValue("update.lastCheckDate"), m_clock.currentDateTime());
}

TEST_F(UpdateCheckerTest, SameOrOlderFeedVersionIsUpToDateAndClearsAPublishedUpdate) {
    struct Case {
        const char* installed;
        const char* feed;
    };
    for (const Case& c : {Case{"1.5", "1.5.0"}, Case{"2.0", "1.5.0"}}) {
        SCOPED_TRACE(c.installed);
        s_server->writeFile(feedPath, feedDocument("9.0"));
        auto checker = makeChecker(c.installed);
        ASSERT_EQ(check(*checker, true).kind, Kind::updateAvailable);

        s_server->writeFile(feedPath, feedDocument(c.feed));
        const UpdateCheckOutcome outcome = check(*checker, true);

        EXPECT_EQ(outcome.kind, Kind::upToDate);
        EXPECT_EQ(outcome.message(), "Your software is up to date");
        EXPECT_EQ(checker->availableUpdate(), std::nullopt);
    }
}

TEST_F(UpdateCheckerTest, MissingCurrentVersionComparesAsZero) {
    s_server->writeFile(feedPath, feedDocument("0.0.1"));
    auto checker = makeChecker("");
    EXPECT_EQ(checker->currentVersion(), "0");
    EXPECT_EQ(check(*checker, false).kind, Kind::updateAvailable);
}

TEST_F(UpdateCheckerTest, AutomaticCheckWithinADayIsThrottledWithoutARequest) {
    auto checker = makeChecker("1.4");
    ASSERT_EQ(check(*checker, false).kind, Kind::updateAvailable);
    const int requests = s_server->requestCount(feedPath);
    const QDateTime checkedAt = m_clock.currentDateTime();

    m_clock.advance(std::chrono::hours(23));
    const UpdateCheckOutcome outcome = check(*checker, false);

    EXPECT_EQ(outcome.kind, Kind::throttled);
    EXPECT_EQ(outcome.message(), "Your software is up to date");
    EXPECT_EQ(s_server->requestCount(feedPath), requests);
    EXPECT_EQ(m_defaults.dateValue("update.lastCheckDate"), checkedAt);
    EXPECT_TRUE(checker->availableUpdate().has_value());
}

TEST_F(UpdateCheckerTest, ForcedCheckWithinADayFetches) {
    auto checker = makeChecker("1.4");
    ASSERT_EQ(check(*checker, false).kind, Kind::updateAvailable);
    const int requests = s_server->requestCount(feedPath);

    m_clock.advance(std::chrono::hours(23));
    EXPECT_EQ(check(*checker, true).kind, Kind::updateAvailable);
    EXPECT_EQ(s_server->requestCount(feedPath), requests + 1);
    EXPECT_EQ(m_defaults.dateValue("update.lastCheckDate"), m_clock.currentDateTime());
}

TEST_F(UpdateCheckerTest, ThrottleSurvivesANewCheckerAndEndsAfterADay) {
    ASSERT_EQ(check(*makeChecker("1.4"), false).kind, Kind::updateAvailable);

    m_clock.advance(std::chrono::hours(23));
    EXPECT_EQ(check(*makeChecker("1.4"), false).kind, Kind::throttled);

    m_clock.advance(std::chrono::hours(2));
    const int requests = s_server->requestCount(feedPath);
    EXPECT_EQ(check(*makeChecker("1.4"), false).kind, Kind::updateAvailable);
    EXPECT_EQ(s_server->requestCount(feedPath), requests + 1);
}

TEST_F(UpdateCheckerTest, MalformedStoredCheckTimeCountsAsNoPreviousCheck) {
    m_defaults.setString("update.lastCheckDate", "yesterday");
    EXPECT_EQ(check(*makeChecker("1.4"), false).kind, Kind::updateAvailable);
}

TEST_F(UpdateCheckerTest, FailedChecksKeepTheStateAndLogOneLine) {
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    struct Case {
        const char* name;
        QByteArray body; // empty: no file (404)
        bool refused = false;
    };
    const Case cases[] = {
        {"not found", {}},
        {"not JSON", "<html>Service unavailable</html>"},
        {"missing key", R"({"version": "9.0", "release_notes": ""})"},
        {"download_url not a string",
         R"({"version": "9.0", "download_url": 3, "release_notes": ""})"},
        {"connection refused", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        s_server->writeFile(feedPath, feedDocument("1.5.0"));
        auto checker = makeChecker("1.4");
        ASSERT_EQ(check(*checker, true).kind, Kind::updateAvailable);
        const QDateTime checkedAt = m_clock.currentDateTime();
        const std::optional<UpdateFeed> published = checker->availableUpdate();
        m_clock.advance(std::chrono::hours(30));

        std::unique_ptr<UpdateChecker> failing;
        if (c.refused) {
            failing = std::make_unique<UpdateChecker>(
                m_defaults, m_clock,
                QUrl(QStringLiteral("https://127.0.0.1:%1%2").arg(closedPort).arg(feedPath)), "1.4",
                QList<QSslCertificate>{s_server->certificate()});
        } else if (c.body.isEmpty()) {
            s_server->removeFile(feedPath);
        } else {
            s_server->writeFile(feedPath, c.body);
        }
        UpdateChecker& target = failing ? *failing : *checker;

        LogCapture log;
        const UpdateCheckOutcome outcome = check(target, false);

        EXPECT_EQ(outcome.kind, Kind::failed);
        EXPECT_EQ(outcome.message(), "Couldn\u2019t check for updates. Try again later.");
        EXPECT_EQ(checker->availableUpdate(), published);
        EXPECT_EQ(m_defaults.dateValue("update.lastCheckDate"), checkedAt);
        const QStringList lines = log.messages("com.murmex.app.Update");
        ASSERT_EQ(lines.size(), 1);
        EXPECT_TRUE(lines.first().startsWith("Update check failed: "))
            << lines.first().toStdString();
    }
}

TEST_F(UpdateCheckerTest, CertificateNotTrustedFailsTheCheck) {
    UpdateChecker checker(m_defaults, m_clock, s_server->url(feedPath), "1.4");
    EXPECT_EQ(check(checker, true).kind, Kind::failed);
    EXPECT_FALSE(m_defaults.contains("update.lastCheckDate"));
}

TEST(UpdateCheckerVersionTest, ComparesDotSeparatedIntegers) {
    struct Case {
        const char* a;
        const char* b;
        int expected;
    };
    const Case cases[] = {
        {"1.10", "1.9", 1},     {"1.9", "1.10", -1},  {"2.0", "2", 0},        {"1.2", "1.2.0", 0},
        {"1.2.beta", "1.2", 0}, {"1.2.3b", "1.2", 0}, {"1..2", "1.2", 0},     {" 1 .\t2", "1.2", 0},
        {"+3", "3", 0},         {"-1", "0", -1},      {"1.0.1", "1", 1},      {"", "0", 0},
        {"0.0.1", "0", 1},      {"10", "9.99", 1},    {"1.2.3", "1.2.4", -1}, {"a.b", "0.0", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UpdateChecker::compareVersions(c.a, c.b), c.expected) << c.a << " vs " << c.b;
    }
}

TEST(UpdateCheckerVersionTest, BuildFeedUrlIsTheProductDocument) {
    EXPECT_EQ(UpdateChecker::defaultFeedURL().scheme(), "https");
    EXPECT_TRUE(UpdateChecker::defaultFeedURL().path().endsWith("/updates/latest.json"));
}

} // namespace
