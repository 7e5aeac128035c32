#include "speech/TranscriptSegment.h"

#include <QSet>

#include <gtest/gtest.h>

namespace {

TEST(TranscriptSegmentTest, EncodesCompactObjectsWithKeysInOrder) {
    const QList<TranscriptSegment> segments{{0, QStringLiteral("Hello"), 0, 1500},
                                            {1, QStringLiteral("and/or \"this\""), 1500, 3000}};
    EXPECT_EQ(TranscriptSegment::encodeList(segments),
              QByteArray(R"([{"index":0,"text":"Hello","startMs":0,"endMs":1500},)"
                         R"({"index":1,"text":"and\/or \"this\"","startMs":1500,"endMs":3000}])"));
    EXPECT_EQ(TranscriptSegment::encodeList({}), QByteArray("[]"));
}

TEST(TranscriptSegmentTest, RoundTripsEveryCharacterAndRange) {
    const QList<TranscriptSegment> segments{
        {0, QStringLiteral("Grüße 世界 🎙"), -20, 0},
        {1, QStringLiteral("tab\tnew\nline \\ slash / bell \x07"), 3600000, 7200000},
        {2, QString(), 9007199254740991, 9007199254740991},
    };
    const auto decoded = TranscriptSegment::decodeList(TranscriptSegment::encodeList(segments));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, segments);
}

TEST(TranscriptSegmentTest, UnreadableJsonGivesNoSegments) {
    const char* invalid[] = {
        "",
        "{}",
        "[{\"index\":0,\"text\":\"a\",\"startMs\":0}]",
        "[{\"index\":0,\"text\":1,\"startMs\":0,\"endMs\":1}]",
        "[{\"index\":0.5,\"text\":\"a\",\"startMs\":0,\"endMs\":1}]",
        "[{\"index\":0,\"text\":\"a\",\"startMs\":\"0\",\"endMs\":1}]",
        "[1]",
        "[{\"index\":0,\"text\":\"a\",\"startMs\":0,\"endMs\":1}",
    };
    for (const char* json : invalid) {
        EXPECT_FALSE(TranscriptSegment::decodeList(json).has_value()) << json;
    }
}

TEST(TranscriptSegmentTest, IdentityIsTheIndexAndEqualityCoversAllFields) {
    const TranscriptSegment a{3, QStringLiteral("x"), 1, 2};
    TranscriptSegment b = a;
    EXPECT_EQ(a.id(), 3);
    EXPECT_EQ(a, b);
    b.endMs = 3;
    EXPECT_NE(a, b);
    EXPECT_EQ(QSet<TranscriptSegment>({a, b, a}).size(), 2);
}

} // namespace
