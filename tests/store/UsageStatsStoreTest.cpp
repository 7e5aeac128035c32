#include "store/UsageStatsStore.h"

#include "TestEnvironment.h"
#include "common/Observe.h"
#include "store/DefaultsStore.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {

// Each case runs in a named zone and in the zone the process runs in (ctest
// runs this executable under several TZ values).
class UsageStatsStreakTest : public ::testing::TestWithParam<const char*> {
protected:
    QTimeZone zone() const {
        const QByteArray name = GetParam();
        return name == "system" ? QTimeZone::systemTimeZone() : QTimeZone(name);
    }

    QDateTime at(int year, int month, int day, int hour, int minute) const {
        return QDateTime(QDate(year, month, day), QTime(hour, minute), zone());
    }

    QString storePath() const { return home.path(QStringLiteral("config/murmex/defaults.json")); }

    ScopedTestHome home;
    DefaultsStore defaults{storePath()};
    UsageStatsStore stats{defaults};
};

TEST_P(UsageStatsStreakTest, FirstDictationStartsAStreakAtLocalMidnight) {
    ASSERT_TRUE(zone().isValid());
    stats.record(12, 4.5, at(2026, 3, 14, 15, 30), zone());
    EXPECT_EQ(stats.currentStreak(), 1);
    EXPECT_EQ(stats.bestStreak(), 1);
    EXPECT_EQ(stats.sessionCount(), 1);
    EXPECT_EQ(stats.totalWords(), 12);
    EXPECT_DOUBLE_EQ(stats.totalRecordingSeconds(), 4.5);
    ASSERT_TRUE(stats.lastActiveDay().has_value());
    EXPECT_EQ(*stats.lastActiveDay(), at(2026, 3, 14, 0, 0));
}

TEST_P(UsageStatsStreakTest, SameDayKeepsNextDayExtendsAndAGapRestarts) {
    stats.record(5, 2.0, at(2026, 3, 14, 8, 0), zone());
    stats.record(5, 2.0, at(2026, 3, 14, 12, 0), zone());
    stats.record(5, 2.0, at(2026, 3, 14, 23, 50), zone());
    EXPECT_EQ(stats.currentStreak(), 1);

    // A few minutes past local midnight is the next calendar day.
    stats.record(5, 2.0, at(2026, 3, 15, 0, 5), zone());
    EXPECT_EQ(stats.currentStreak(), 2);
    EXPECT_EQ(stats.bestStreak(), 2);

    // One empty day in between restarts the streak; the best one stays.
    stats.record(5, 2.0, at(2026, 3, 17, 9, 0), zone());
    EXPECT_EQ(stats.currentStreak(), 1);
    EXPECT_EQ(stats.bestStreak(), 2);
    EXPECT_EQ(stats.sessionCount(), 5);
    EXPECT_EQ(stats.totalWords(), 25);
}

TEST_P(UsageStatsStreakTest, StreaksCrossDaylightSavingChangesAsCalendarDays) {
    // Northern and southern daylight-saving changes happen around these dates;
    // a 23- or 25-hour day is still one calendar day.
    for (const auto& [first, second] : {std::pair{QDate(2026, 3, 7), QDate(2026, 3, 8)},
                                        std::pair{QDate(2026, 3, 28), QDate(2026, 3, 29)},
                                        std::pair{QDate(2026, 4, 4), QDate(2026, 4, 5)},
                                        std::pair{QDate(2026, 10, 31), QDate(2026, 11, 1)}}) {
        ScopedTestHome ownHome;
        DefaultsStore ownDefaults(ownHome.path(QStringLiteral("defaults.json")));
        UsageStatsStore ownStats(ownDefaults);
        ownStats.record(1, 1.0, QDateTime(first, QTime(23, 30), zone()), zone());
        ownStats.record(1, 1.0, QDateTime(second, QTime(23, 30), zone()), zone());
        EXPECT_EQ(ownStats.currentStreak(), 2) << first.toString(Qt::ISODate).toStdString();
    }
}

TEST_P(UsageStatsStreakTest, AClockSetBackRestartsTheStreak) {
    stats.record(1, 1.0, at(2026, 5, 10, 10, 0), zone());
    stats.record(1, 1.0, at(2026, 5, 11, 10, 0), zone());
    stats.record(1, 1.0, at(2026, 5, 9, 10, 0), zone());
    EXPECT_EQ(stats.currentStreak(), 1);
    EXPECT_EQ(stats.bestStreak(), 2);
    EXPECT_EQ(*stats.lastActiveDay(), at(2026, 5, 9, 0, 0));
}

TEST_P(UsageStatsStreakTest, StatisticsSurviveARestart) {
    stats.record(300, 120.0, at(2026, 1, 1, 22, 0), zone());
    stats.record(100, 30.0, at(2026, 1, 2, 7, 0), zone());

    UsageStatsStore reopened(defaults);
    DefaultsStore fromDisk(storePath());
    UsageStatsStore reread(fromDisk);
    for (const UsageStatsStore* store : {&reopened, &reread}) {
        EXPECT_EQ(store->totalWords(), 400);
        EXPECT_DOUBLE_EQ(store->totalRecordingSeconds(), 150.0);
        EXPECT_EQ(store->sessionCount(), 2);
        EXPECT_EQ(store->currentStreak(), 2);
        EXPECT_EQ(store->bestStreak(), 2);
        EXPECT_EQ(store->lastActiveDay(), at(2026, 1, 2, 0, 0));
    }
    EXPECT_DOUBLE_EQ(fromDisk.doubleValue(QStringLiteral("stats.lastActiveDay")),
                     static_cast<double>(at(2026, 1, 2, 0, 0).toSecsSinceEpoch()));
}

INSTANTIATE_TEST_SUITE_P(Zones, UsageStatsStreakTest,
                         ::testing::Values("system", "America/New_York", "Asia/Tokyo",
                                           "Australia/Adelaide"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                             std::string name = param.param;
                             for (char& c : name) {
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

class UsageStatsStoreTest : public ::testing::Test {
protected:
    ScopedTestHome home;
    DefaultsStore defaults{home.path(QStringLiteral("defaults.json"))};
};

TEST_F(UsageStatsStoreTest, SpeakingSpeedAndTimeSaved) {
    defaults.setInteger(UsageStatsStore::Keys::totalWords, 300);
    defaults.setDouble(UsageStatsStore::Keys::totalRecordingSeconds, 120.0);
    UsageStatsStore stats(defaults);
    EXPECT_EQ(stats.wordsPerMinute(), 150.0);
    EXPECT_EQ(stats.wordsPerMinuteText(), QStringLiteral("150 wpm"));

    DefaultsStore emptyDefaults(home.path(QStringLiteral("empty.json")));
    UsageStatsStore empty(emptyDefaults);
    EXPECT_FALSE(empty.wordsPerMinute().has_value());
    EXPECT_EQ(empty.wordsPerMinuteText(), QStringLiteral("\u2014"));
    EXPECT_EQ(empty.timeSavedMinutes(), 0.0);
}

TEST_F(UsageStatsStoreTest, TimeSavedIsNeverNegative) {
    defaults.setInteger(UsageStatsStore::Keys::totalWords, 400);
    defaults.setDouble(UsageStatsStore::Keys::totalRecordingSeconds, 60.0);
    EXPECT_DOUBLE_EQ(UsageStatsStore(defaults).timeSavedMinutes(), 9.0);

    defaults.setInteger(UsageStatsStore::Keys::totalWords, 10);
    EXPECT_EQ(UsageStatsStore(defaults).timeSavedMinutes(), 0.0);
}

TEST_F(UsageStatsStoreTest, MinutesAreFormattedRoundedHalfAwayFromZero) {
    EXPECT_EQ(UsageStatsStore::formatMinutes(9.0), QStringLiteral("9 min"));
    EXPECT_EQ(UsageStatsStore::formatMinutes(0.0), QStringLiteral("0 min"));
    EXPECT_EQ(UsageStatsStore::formatMinutes(2.5), QStringLiteral("3 min"));
    EXPECT_EQ(UsageStatsStore::formatMinutes(59.4), QStringLiteral("59 min"));
    EXPECT_EQ(UsageStatsStore::formatMinutes(59.6), QStringLiteral("1h 0m"));
    EXPECT_EQ(UsageStatsStore::formatMinutes(125.4), QStringLiteral("2h 5m"));
    EXPECT_EQ(UsageStatsStore::formatMinutes(1500.0), QStringLiteral("25h 0m"));
}

TEST_F(UsageStatsStoreTest, MalformedKeysReadAsZeroOrAbsent) {
    defaults.setString(UsageStatsStore::Keys::totalWords, QStringLiteral("many"));
    defaults.setBool(UsageStatsStore::Keys::totalRecordingSeconds, true);
    defaults.setData(UsageStatsStore::Keys::sessionCount, "3");
    defaults.setString(UsageStatsStore::Keys::lastActiveDay, QStringLiteral("yesterday"));
    UsageStatsStore stats(defaults);
    EXPECT_EQ(stats.totalWords(), 0);
    EXPECT_EQ(stats.totalRecordingSeconds(), 0.0);
    EXPECT_EQ(stats.sessionCount(), 0);
    EXPECT_FALSE(stats.lastActiveDay().has_value());

    // The next dictation starts cleanly from there.
    stats.record(3, 1.5, QDateTime::currentDateTime());
    EXPECT_EQ(stats.currentStreak(), 1);
    EXPECT_EQ(defaults.integerValue(UsageStatsStore::Keys::sessionCount), 1);
}

TEST_F(UsageStatsStoreTest, ObserversSeeEachRecordedDictation) {
    UsageStatsStore stats(defaults);
    QList<std::int64_t> words;
    QObject receiver;
    observe(&stats, &UsageStatsStore::totalWords, &UsageStatsStore::totalWordsChanged, &receiver,
            [&words](std::int64_t value) { words.append(value); });
    stats.record(7, 3.0, QDateTime::currentDateTime());
    stats.record(2, 1.0, QDateTime::currentDateTime());
    EXPECT_EQ(words, (QList<std::int64_t>{0, 7, 9}));
}

} // namespace
