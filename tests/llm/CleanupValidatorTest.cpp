#include "llm/CleanupValidator.h"

#include <gtest/gtest.h>

namespace {

struct TripwireCase {
    const char* name;
    int inputLength;
    int outputLength;
    bool isTranslation;
    bool accepted;
};

class LengthTripwire : public ::testing::TestWithParam<TripwireCase> {};

TEST_P(LengthTripwire, AcceptsRatiosWithinInclusiveBounds) {
    const TripwireCase& c = GetParam();
    const QString input(c.inputLength, QLatin1Char('a'));
    const QString output(c.outputLength, QLatin1Char('b'));
    EXPECT_EQ(CleanupValidator::lengthTripwire(input, output, c.isTranslation), c.accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, LengthTripwire,
    ::testing::Values(TripwireCase{"CleanupHalf", 100, 50, false, true},
                      TripwireCase{"CleanupTwoAndAHalf", 100, 250, false, true},
                      TripwireCase{"CleanupBelowHalf", 100, 49, false, false},
                      TripwireCase{"CleanupAboveTwoAndAHalf", 100, 251, false, false},
                      TripwireCase{"TranslationLowest", 100, 40, true, true},
                      TripwireCase{"TranslationHighest", 100, 300, true, true},
                      TripwireCase{"TranslationBelowLowest", 100, 39, true, false},
                      TripwireCase{"TranslationAboveHighest", 100, 301, true, false},
                      TripwireCase{"TranslationRatioTwoPointEight", 100, 280, true, true},
                      TripwireCase{"CleanupRatioTwoPointEight", 100, 280, false, false},
                      TripwireCase{"TranslationRatioPointFourFive", 100, 45, true, true},
                      TripwireCase{"CleanupRatioPointFourFive", 100, 45, false, false},
                      TripwireCase{"EmptyOutput", 100, 0, false, false},
                      TripwireCase{"EmptyInputOneCharacter", 0, 1, false, true},
                      TripwireCase{"EmptyInputThreeCharactersCleanup", 0, 3, false, false},
                      TripwireCase{"EmptyInputThreeCharactersTranslation", 0, 3, true, true}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(LengthTripwireCharacters, CountsCombiningSequencesAsOneCharacter) {
    // Ten "é" written as e plus a combining accent: ten characters, twenty
    // code units. Five letters are half of it, not a quarter.
    QString input;
    for (int i = 0; i < 10; ++i) {
        input += QStringLiteral("e\u0301");
    }
    EXPECT_TRUE(CleanupValidator::lengthTripwire(input, QStringLiteral("abcde"), false));
    EXPECT_FALSE(CleanupValidator::lengthTripwire(input, QStringLiteral("abcd"), false));
}

struct RiskCase {
    const char* input;
    bool risky;
};

class IsRisky : public ::testing::TestWithParam<RiskCase> {};

TEST_P(IsRisky, LooksOnlyAtSentenceStartsAndQuestionMarks) {
    EXPECT_EQ(CleanupValidator::isRisky(QString::fromUtf8(GetParam().input)), GetParam().risky)
        << GetParam().input;
}

INSTANTIATE_TEST_SUITE_P(
    Phrases, IsRisky,
    ::testing::Values(
        RiskCase{"Tell me the time", true}, RiskCase{"I told my friend to tell me", false},
        RiskCase{"ok. can you help", true}, RiskCase{"okay can you help", false},
        RiskCase{"i wonder ? if this counts", true}, RiskCase{"please call me", true},
        RiskCase{"call me please", false}, RiskCase{"whatever you think", false},
        RiskCase{"what", true}, RiskCase{"What.", true},
        RiskCase{"fine!\n\t  generate a list", true}, RiskCase{"fine\nWRITE it down", true},
        RiskCase{"fine\twrite it", false}, RiskCase{"makeup is on the table", false},
        RiskCase{"summarise the meeting", true}, RiskCase{"the weather is nice today", false},
        RiskCase{"", false}, RiskCase{". ! \n", false}));

struct VerdictCase {
    const char* answer;
    bool clean;
};

class ParseVerdict : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(ParseVerdict, CleanOnlyWhenItStartsWithCleanAndNeverSaysAltered) {
    EXPECT_EQ(CleanupValidator::parseVerdict(QString::fromUtf8(GetParam().answer)),
              GetParam().clean)
        << GetParam().answer;
}

INSTANTIATE_TEST_SUITE_P(Answers, ParseVerdict,
                         ::testing::Values(VerdictCase{"CLEAN", true}, VerdictCase{"Clean.", true},
                                           VerdictCase{"cleaned", true},
                                           VerdictCase{"  clean \n", true},
                                           VerdictCase{"ALTERED", false},
                                           VerdictCase{"CLEAN (not altered)", false},
                                           VerdictCase{"The text is clean", false},
                                           VerdictCase{"", false}, VerdictCase{"  \n", false}));

TEST(JudgePrompt, IsTheSixLinesOfThreeHundredSeventyFiveCharacters) {
    EXPECT_EQ(CleanupValidator::judgeSystemPrompt.size(), 375);
    const QStringList lines = CleanupValidator::judgeSystemPrompt.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines.front(), QStringLiteral("/no_think"));
    EXPECT_EQ(lines.back(),
              QStringLiteral("ORIGINAL. Reply with EXACTLY one word: CLEAN or ALTERED."));
}

TEST(JudgePrompt, UserMessageLabelsBothTexts) {
    EXPECT_EQ(CleanupValidator::judgeUserMessage(QStringLiteral("a b"), QStringLiteral("A b.")),
              QStringLiteral("ORIGINAL:\na b\n\nCLEANED:\nA b."));
}

TEST(RiskyPhrases, AreTheTwentyFourLowerCaseOpenings) {
    ASSERT_EQ(CleanupValidator::riskyPhrases.size(), 24);
    EXPECT_EQ(CleanupValidator::riskyPhrases.front(), QStringLiteral("can you"));
    EXPECT_EQ(CleanupValidator::riskyPhrases.back(), QStringLiteral("generate"));
}

} // namespace
