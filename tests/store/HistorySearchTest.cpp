#include "store/HistorySearch.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {

Transcription entry(std::int64_t id, const QString& text,
                    const std::optional<QString>& mediaName = std::nullopt,
                    const std::optional<QString>& rawText = std::nullopt) {
    Transcription row;
    row.id = id;
    row.text = text;
    row.createdAt = QDateTime::fromSecsSinceEpoch(1773480605 - id * 60, QTimeZone::utc());
    row.language = QStringLiteral("en");
    row.mediaName = mediaName;
    row.rawText = rawText;
    if (mediaName) {
        row.source = TranscriptionSource::mediaFile;
    }
    return row;
}

QList<std::int64_t> ids(const QList<Transcription>& entries) {
    QList<std::int64_t> result;
    for (const Transcription& row : entries) {
        result.append(row.id);
    }
    return result;
}

const QList<Transcription> sampleEntries = {
    entry(1, QStringLiteral("We need abc by Friday")),
    entry(2, QStringLiteral("Interview transcript"), QStringLiteral("ABC-podcast.mp3")),
    entry(3, QStringLiteral("Cleaned text"), std::nullopt, QStringLiteral("abc raw words")),
    entry(4, QStringLiteral("So viel \u00c4rger heute")),
    entry(5, QStringLiteral("nothing to see"), QStringLiteral("holiday.mov")),
};

TEST(HistorySearchFilterTest, BlankQueriesKeepEveryEntryInOrder) {
    for (const QString& query : {QString(), QStringLiteral("  "), QStringLiteral("\n\t \r\n")}) {
        EXPECT_EQ(HistorySearch::filter(sampleEntries, query), sampleEntries)
            << query.toStdString();
    }
}

TEST(HistorySearchFilterTest, MatchesTextAndMediaNameIgnoringCaseAndSurroundingSpace) {
    const struct {
        QString query;
        QList<std::int64_t> expected;
    } cases[] = {
        {QStringLiteral("ABC"), {1, 2}},
        {QStringLiteral("abc"), {1, 2}},
        {QStringLiteral("  aBc \n"), {1, 2}},
        {QStringLiteral("podcast.MP3"), {2}},
        {QStringLiteral("\u00c4RGER"), {4}},
        {QStringLiteral("\u00e4rger"), {4}},
        {QStringLiteral("HOLIDAY"), {5}},
        // Inner spaces are part of the query.
        {QStringLiteral("need abc"), {1}},
        {QStringLiteral("need  abc"), {}},
        // The recogniser's raw text and the language are not searched.
        {QStringLiteral("raw words"), {}},
        {QStringLiteral("en"), {}},
        {QStringLiteral("zebra"), {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ids(HistorySearch::filter(sampleEntries, c.query)), c.expected)
            << c.query.toStdString();
    }
}

TEST(HistorySearchFilterTest, NoMatchesMessageQuotesTheQueryAsTyped) {
    EXPECT_EQ(HistorySearch::noMatchesTitle, QStringLiteral("No matches"));
    EXPECT_EQ(HistorySearch::noMatchesMessage(QStringLiteral("  Zebra ")),
              QStringLiteral("No transcriptions match \"  Zebra \"."));
    EXPECT_EQ(HistorySearch::noMatchesMessage(QStringLiteral("say \"hi\"")),
              QStringLiteral("No transcriptions match \"say \"hi\"\"."));
}

TEST(HistorySearchFilterTest, ClearAllConfirmationTexts) {
    EXPECT_EQ(HistorySearch::clearAllMessage,
              QStringLiteral(
                  "This permanently removes every saved transcription. This can't be undone."));
    EXPECT_EQ(HistorySearch::clearAllConfirmButton, QStringLiteral("Delete All"));
    EXPECT_EQ(HistorySearch::clearAllCancelButton, QStringLiteral("Cancel"));
}

// Each grouping case runs in named zones on both sides of UTC and in the zone
// the process runs in (ctest runs this executable under several TZ values).
class HistoryGroupingTest : public ::testing::TestWithParam<const char*> {
protected:
    QTimeZone zone() const {
        const QByteArray name = GetParam();
        return name == "system" ? QTimeZone::systemTimeZone() : QTimeZone(name);
    }

    QDateTime at(const QDate& day, int hour, int minute) const {
        return QDateTime(day, QTime(hour, minute), zone());
    }

    Transcription savedAt(std::int64_t id, const QDateTime& moment) const {
        Transcription row = entry(id, QStringLiteral("row %1").arg(id));
        // Stored times come back in UTC, whatever zone they were saved in.
        row.createdAt = moment.toUTC();
        return row;
    }

    const QLocale english{QLocale::English, QLocale::UnitedKingdom};
};

TEST_P(HistoryGroupingTest, MinutesAroundLocalMidnightFallIntoTwoDaysLatestFirst) {
    ASSERT_TRUE(zone().isValid());
    const QDate today(2026, 3, 9);
    const QList<Transcription> entries = {
        savedAt(1, at(today, 0, 1)),
        savedAt(2, at(today.addDays(-1), 23, 59)),
        savedAt(3, at(today.addDays(-1), 8, 0)),
        savedAt(4, at(today.addDays(-4), 10, 0)),
    };

    const auto groups =
        HistorySearch::groupByDay(entries, at(today, 12, 0).toUTC(), zone(), english);

    ASSERT_EQ(groups.size(), 3);
    EXPECT_EQ(groups[0].title, QStringLiteral("Today"));
    EXPECT_EQ(groups[0].id, at(today, 0, 0));
    EXPECT_EQ(ids(groups[0].entries), (QList<std::int64_t>{1}));
    EXPECT_EQ(groups[1].title, QStringLiteral("Yesterday"));
    EXPECT_EQ(groups[1].id, at(today.addDays(-1), 0, 0));
    EXPECT_EQ(ids(groups[1].entries), (QList<std::int64_t>{2, 3}));
    EXPECT_EQ(groups[2].title, QStringLiteral("5 March 2026"));
    EXPECT_EQ(groups[2].id, at(today.addDays(-4), 0, 0));
    EXPECT_EQ(ids(groups[2].entries), (QList<std::int64_t>{4}));
}

TEST_P(HistoryGroupingTest, GroupsFollowTheInputOrderWithinADayAndSortDaysLatestFirst) {
    const QDate day(2026, 1, 1);
    // A search result is newest first, but grouping must not depend on it
    // for the order of the days.
    const QList<Transcription> entries = {
        savedAt(1, at(day.addDays(-3), 9, 0)),
        savedAt(2, at(day, 18, 0)),
        savedAt(3, at(day.addDays(-3), 11, 0)),
        savedAt(4, at(day, 7, 0)),
    };
    const auto groups = HistorySearch::groupByDay(entries, at(day, 0, 30), zone(), english);
    ASSERT_EQ(groups.size(), 2);
    EXPECT_EQ(groups[0].title, QStringLiteral("Today"));
    EXPECT_EQ(ids(groups[0].entries), (QList<std::int64_t>{2, 4}));
    EXPECT_EQ(groups[1].title, QStringLiteral("29 December 2025"));
    EXPECT_EQ(ids(groups[1].entries), (QList<std::int64_t>{1, 3}));
}

TEST_P(HistoryGroupingTest, YesterdayReachesAcrossTheYearBoundary) {
    const QDate newYear(2026, 1, 1);
    const auto groups = HistorySearch::groupByDay({savedAt(1, at(newYear.addDays(-1), 23, 30))},
                                                  at(newYear, 0, 10), zone(), english);
    ASSERT_EQ(groups.size(), 1);
    EXPECT_EQ(groups[0].title, QStringLiteral("Yesterday"));
}

TEST_P(HistoryGroupingTest, ADayWithAClockChangeIsStillOneGroup) {
    // Daylight-saving changes in the north and the south around these dates.
    for (const QDate& day : {QDate(2026, 3, 8), QDate(2026, 3, 29), QDate(2026, 4, 5),
                             QDate(2026, 10, 25), QDate(2026, 11, 1)}) {
        const auto groups =
            HistorySearch::groupByDay({savedAt(1, at(day, 23, 30)), savedAt(2, at(day, 0, 30))},
                                      at(day.addDays(10), 12, 0), zone(), english);
        ASSERT_EQ(groups.size(), 1) << day.toString(Qt::ISODate).toStdString();
        EXPECT_EQ(groups[0].id, day.startOfDay(zone()));
        EXPECT_EQ(ids(groups[0].entries), (QList<std::int64_t>{1, 2}));
    }
}

INSTANTIATE_TEST_SUITE_P(Zones, HistoryGroupingTest,
                         ::testing::Values("America/New_York", "Asia/Tokyo", "system"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                             std::string name = param.param;
                             for (char& c : name) {
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

TEST(HistoryGroupingZoneTest, TheSameMomentBelongsToTheLocalDayOfTheZone) {
    // 03:30 UTC on 10 March is still the evening of 9 March in New York and
    // already midday of 10 March in Tokyo.
    const QDateTime saved(QDate(2026, 3, 10), QTime(3, 30), QTimeZone::utc());
    const QDateTime now(QDate(2026, 3, 10), QTime(4, 0), QTimeZone::utc());
    Transcription row = entry(1, QStringLiteral("late"));
    row.createdAt = saved;
    const QLocale english(QLocale::English, QLocale::UnitedStates);

    const QTimeZone newYork("America/New_York");
    const auto inNewYork = HistorySearch::groupByDay({row}, now, newYork, english);
    ASSERT_EQ(inNewYork.size(), 1);
    EXPECT_EQ(inNewYork[0].title, QStringLiteral("Yesterday"));
    EXPECT_EQ(inNewYork[0].id, QDateTime(QDate(2026, 3, 9), QTime(0, 0), newYork));

    const QTimeZone tokyo("Asia/Tokyo");
    const auto inTokyo = HistorySearch::groupByDay({row}, now, tokyo, english);
    ASSERT_EQ(inTokyo.size(), 1);
    EXPECT_EQ(inTokyo[0].title, QStringLiteral("Today"));
    EXPECT_EQ(inTokyo[0].id, QDateTime(QDate(2026, 3, 10), QTime(0, 0), tokyo));

    // Two days back it is a date, written in the given locale.
    const QDateTime later = now.addDays(2);
    EXPECT_EQ(HistorySearch::groupByDay({row}, later, tokyo, english)[0].title,
              QStringLiteral("10 March 2026"));
    EXPECT_EQ(HistorySearch::groupByDay({row}, later, tokyo, QLocale(QLocale::German))[0].title,
              QStringLiteral("10 M\u00e4rz 2026"));
}

TEST(HistoryGroupingZoneTest, NoEntriesGiveNoGroups) {
    EXPECT_TRUE(HistorySearch::groupByDay({}, QDateTime::currentDateTimeUtc()).isEmpty());
}

} // namespace
