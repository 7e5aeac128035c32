#include "speech/TranscriptText.h"

#include <gtest/gtest.h>

namespace {

using namespace TranscriptText;

TEST(TranscriptTextTest, RemovePunctuationKeepsApostrophesAndHyphens) {
    const std::pair<const char*, const char*> cases[] = {
        {"Hello, world! (test)", "Hello world test"},
        {"don't re-enter", "don't re-enter"},
        {"«Bonjour» “quoted” [x] {y}…", "Bonjour quoted x y"},
        {"你好，世界！真的？是。", "你好世界真的是"},
        {"a\t\tb   c", "a b c"},
        {"  ...  ", ""},
        {"line one.\nline two", "line one\nline two"},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(removePunctuation(QString::fromUtf8(input)), QString::fromUtf8(expected))
            << input;
    }
}

TEST(TranscriptTextTest, SegmentFormRemovesOnlyWhenEnabled) {
    const QList<TranscriptSegment> segments{{0, QStringLiteral("Hi, there."), 10, 20}};
    EXPECT_EQ(removePunctuation(false, segments), segments);
    EXPECT_EQ(removePunctuation(true, segments),
              (QList<TranscriptSegment>{{0, QStringLiteral("Hi there"), 10, 20}}));
}

TEST(TranscriptTextTest, CollapseRepeatsKeepsOneCopyOfALoop) {
    const std::pair<const char*, const char*> cases[] = {
        {"thank you thank you thank you thank you", "thank you"},
        {"Yes yes YES no", "Yes no"},
        {"go go stop", "go go stop"},
        {"a b", "a b"},
        {"a  b", "a  b"},
        {"one  two   three", "one two three"},
        {"I said it I said it I said it and left", "I said it and left"},
        {"la la la la la la la la la la la la", "la"},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(collapseRepeats(QString::fromUtf8(input)), QString::fromUtf8(expected)) << input;
    }
}

TEST(TranscriptTextTest, CollapseRepeatsFindsPhrasesOfUpToEightWords) {
    const QString eight = QStringLiteral("w1 w2 w3 w4 w5 w6 w7 w8");
    const QString nine = eight + QStringLiteral(" w9");
    EXPECT_EQ(collapseRepeats(QStringList{eight, eight, eight}.join(QLatin1Char(' '))), eight);
    const QString nineRepeated = QStringList{nine, nine, nine}.join(QLatin1Char(' '));
    EXPECT_EQ(collapseRepeats(nineRepeated), nineRepeated);
}

} // namespace
