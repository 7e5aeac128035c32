#include "speech/TranscriptFormat.h"

#include "TestEnvironment.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

using namespace TranscriptFormat;

const QList<TranscriptSegment> helloWorld{{0, QStringLiteral("Hello"), 0, 1500},
                                          {1, QStringLiteral("world"), 1500, 3000}};

TEST(TranscriptFormatTest, PlainTextJoinsWithSpacesAndTrims) {
    EXPECT_EQ(plainText(helloWorld), QStringLiteral("Hello world"));
    EXPECT_EQ(plainText({}), QString());
    EXPECT_EQ(plainText({{0, QString(), 0, 1}, {1, QStringLiteral("end"), 1, 2}}),
              QStringLiteral("end"));
}

TEST(TranscriptFormatTest, DisplayTimestamps) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "00:00"},          {61999, "01:01"},      {3599999, "59:59"}, {3600000, "01:00:00"},
        {7325000, "02:02:05"}, {3723004, "01:02:03"}, {-5000, "00:00"},   {360000000, "100:00:00"},
    };
    for (const auto& [ms, expected] : cases) {
        EXPECT_EQ(displayTimestamp(ms), QString::fromUtf8(expected)) << ms;
    }
}

TEST(TranscriptFormatTest, TimestampedTextShowsStartTimesWithoutFinalNewline) {
    EXPECT_EQ(timestampedText(helloWorld), QStringLiteral("[00:00] Hello\n[00:01] world"));
    EXPECT_EQ(timestampedText({}), QString());
}

TEST(TranscriptFormatTest, SrtTimes) {
    EXPECT_EQ(srtTime(3723004), QStringLiteral("01:02:03,004"));
    EXPECT_EQ(srtTime(0), QStringLiteral("00:00:00,000"));
    EXPECT_EQ(srtTime(7199999), QStringLiteral("01:59:59,999"));
}

TEST(TranscriptFormatTest, SrtTextBlocks) {
    EXPECT_EQ(srtText(helloWorld), QStringLiteral("1\n00:00:00,000 --> 00:00:01,500\nHello\n"
                                                  "\n"
                                                  "2\n00:00:01,500 --> 00:00:03,000\nworld\n"));
    EXPECT_EQ(srtText({}), QString());
}

TEST(TranscriptFormatTest, SrtClampsNegativeAndBackwardTimesAndNumbersByPosition) {
    const QList<TranscriptSegment> segments{{7, QStringLiteral("early"), -20, -10},
                                            {3, QStringLiteral("backward"), 5000, 4000}};
    EXPECT_EQ(srtText(segments), QStringLiteral("1\n00:00:00,000 --> 00:00:00,000\nearly\n"
                                                "\n"
                                                "2\n00:00:05,000 --> 00:00:05,000\nbackward\n"));
}

TEST(TranscriptFormatTest, ExportFileNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"a:b.mp3", "a-b"},
        {"???.mp3", "---"},
        {"   .mp3", "Transcript"},
        {"", "Transcript"},
        {"Interview 2024.final.m4a", "Interview 2024.final"},
        {"no extension", "no extension"},
        {R"(x\y*z|"<>%.wav)", "x-y-z-----"},
        {"  padded name .mov", "padded name"},
        {"Café – talk.mp4", "Café – talk"},
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(exportFileName(QString::fromUtf8(name)), QString::fromUtf8(expected)) << name;
    }
}

TEST(TranscriptFormatTest, ExportWritesUtf8AndReplacesAnExistingFile) {
    ScopedTestHome home;
    const QString path = home.path(QStringLiteral("exports/talk.srt"));
    QDir().mkpath(home.path(QStringLiteral("exports")));
    writeFile(path, QByteArray(4096, 'x'));

    const QString text = QStringLiteral("1\n00:00:00,000 --> 00:00:01,000\nGrüße, 世界\n");
    ASSERT_TRUE(writeExport(path, text));
    EXPECT_EQ(readFile(path), text.toUtf8());

    EXPECT_FALSE(writeExport(home.path(QStringLiteral("missing-dir/talk.txt")), text));
}

} // namespace
