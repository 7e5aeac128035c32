#include "store/TranscriptionLanguage.h"

#include <QSet>

#include <gtest/gtest.h>

namespace {

TEST(TranscriptionLanguageTest, ThirteenLanguagesInOfferOrder) {
    const auto& all = TranscriptionLanguage::all();
    ASSERT_EQ(all.size(), 13);
    EXPECT_EQ(all.first(),
              (TranscriptionLanguage{QStringLiteral("auto"), QStringLiteral("Auto-detect")}));
    EXPECT_EQ(all.last(), (TranscriptionLanguage{QStringLiteral("hi"), QStringLiteral("Hindi")}));
    QStringList codes;
    for (const auto& language : all) {
        codes.append(language.code);
    }
    EXPECT_EQ(codes.join(QLatin1Char(',')),
              QStringLiteral("auto,en,es,fr,de,it,pt,nl,ru,zh,ja,ko,hi"));
    EXPECT_EQ(QSet<TranscriptionLanguage>(all.begin(), all.end()).size(), 13);
}

TEST(TranscriptionLanguageTest, TranslationTargetsAreAllButAutoStartingWithEnglish) {
    const auto& targets = TranscriptionLanguage::translationTargets();
    ASSERT_EQ(targets.size(), 12);
    EXPECT_EQ(targets.first().code, QStringLiteral("en"));
    for (const auto& language : targets) {
        EXPECT_NE(language.code, QStringLiteral("auto"));
    }
}

TEST(TranscriptionLanguageTest, DisplayNameFallsBackToTheUpperCaseCode) {
    EXPECT_EQ(TranscriptionLanguage::displayName(QStringLiteral("de")), QStringLiteral("German"));
    EXPECT_EQ(TranscriptionLanguage::displayName(QStringLiteral("auto")),
              QStringLiteral("Auto-detect"));
    EXPECT_EQ(TranscriptionLanguage::displayName(QStringLiteral("sv")), QStringLiteral("SV"));
    EXPECT_EQ(TranscriptionLanguage::displayName(QStringLiteral("DE")), QStringLiteral("DE"));
    EXPECT_EQ(TranscriptionLanguage::displayName(QString()), QString());
}

} // namespace
