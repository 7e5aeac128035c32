#include "store/AppSettings.h"

#include "TestEnvironment.h"
#include "common/Observe.h"
#include "store/DefaultsStore.h"

#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

class AppSettingsTest : public ::testing::Test {
protected:
    QString storePath() const { return home.path(QStringLiteral("config/murmex/defaults.json")); }

    // A store holding raw entries written the way an older or damaged file
    // would hold them.
    void writeStore(const QByteArray& valuesJson) {
        writeFile(storePath(), "{\"format\":1,\"values\":" + valuesJson + "}");
    }

    ScopedTestHome home;
};

TEST_F(AppSettingsTest, FreshStoreYieldsEveryDefaultAndWritesNothing) {
    DefaultsStore defaults(storePath());
    AppSettings settings(defaults);

    EXPECT_FALSE(settings.onboardingCompleted());
    EXPECT_EQ(settings.selectedModel(), WhisperModel::Kind::turbo);
    EXPECT_EQ(settings.language(), QStringLiteral("auto"));
    EXPECT_EQ(settings.hotkey(), (HotkeyConfig{63, 0, true, QStringLiteral("Fn")}));
    EXPECT_FALSE(settings.launchAtLogin());
    EXPECT_TRUE(settings.showMenuBarIcon());
    EXPECT_FALSE(settings.inputDeviceUID().has_value());
    EXPECT_FALSE(settings.stripPunctuation());
    EXPECT_EQ(settings.appearance(), AppAppearance::system);
    EXPECT_FALSE(settings.suppressMediaURLNotice());
    EXPECT_FALSE(settings.cleanUpTranscripts());
    EXPECT_TRUE(settings.cleanupValidationEnabled());
    EXPECT_FALSE(settings.cleanupAlwaysJudge());
    EXPECT_FALSE(settings.autoTranslateEnabled());
    EXPECT_EQ(settings.translationTargetLanguage(), QStringLiteral("en"));
    EXPECT_EQ(settings.translationHotkey(),
              (HotkeyConfig{17, 0xC0000, false, QStringLiteral("\u2303\u2325T")}));

    EXPECT_FALSE(QFileInfo::exists(storePath()));
}

TEST_F(AppSettingsTest, EverySettingIsWrittenAtOnceAndReadBack) {
    const HotkeyConfig rightCommand{54, 0, true, QStringLiteral("Right Command")};
    const HotkeyConfig commandShiftD{2, 0x120000, false, QStringLiteral("\u21e7\u2318D")};
    {
        DefaultsStore defaults(storePath());
        AppSettings settings(defaults);
        settings.setOnboardingCompleted(true);
        settings.setSelectedModel(WhisperModel::Kind::full);
        settings.setLanguage(QStringLiteral("de"));
        settings.setHotkey(rightCommand);
        settings.setLaunchAtLogin(true);
        settings.setShowMenuBarIcon(false);
        settings.setInputDeviceUID(QStringLiteral("alsa_input.usb-mic"));
        settings.setStripPunctuation(true);
        settings.setAppearance(AppAppearance::dark);
        settings.setSuppressMediaURLNotice(true);
        settings.setCleanUpTranscripts(true);
        settings.setCleanupValidationEnabled(false);
        settings.setCleanupAlwaysJudge(true);
        settings.setAutoTranslateEnabled(true);
        settings.setTranslationTargetLanguage(QStringLiteral("ja"));
        settings.setTranslationHotkey(commandShiftD);
        // No explicit save: a new store on the same file must see everything.
    }
    DefaultsStore defaults(storePath());
    AppSettings settings(defaults);
    EXPECT_TRUE(settings.onboardingCompleted());
    EXPECT_EQ(settings.selectedModel(), WhisperModel::Kind::full);
    EXPECT_EQ(settings.language(), QStringLiteral("de"));
    EXPECT_EQ(settings.hotkey(), rightCommand);
    EXPECT_TRUE(settings.launchAtLogin());
    EXPECT_FALSE(settings.showMenuBarIcon());
    EXPECT_EQ(settings.inputDeviceUID(), QStringLiteral("alsa_input.usb-mic"));
    EXPECT_TRUE(settings.stripPunctuation());
    EXPECT_EQ(settings.appearance(), AppAppearance::dark);
    EXPECT_TRUE(settings.suppressMediaURLNotice());
    EXPECT_TRUE(settings.cleanUpTranscripts());
    EXPECT_FALSE(settings.cleanupValidationEnabled());
    EXPECT_TRUE(settings.cleanupAlwaysJudge());
    EXPECT_TRUE(settings.autoTranslateEnabled());
    EXPECT_EQ(settings.translationTargetLanguage(), QStringLiteral("ja"));
    EXPECT_EQ(settings.translationHotkey(), commandShiftD);

    EXPECT_EQ(defaults.stringValue(QStringLiteral("selectedModel")), QStringLiteral("full"));
    EXPECT_EQ(defaults.stringValue(QStringLiteral("appearance")), QStringLiteral("dark"));
    EXPECT_TRUE(defaults.dataValue(QStringLiteral("hotkeyConfig")).has_value());
    EXPECT_TRUE(defaults.dataValue(QStringLiteral("translationHotkeyConfig")).has_value());
    EXPECT_TRUE(defaults.boolValue(QStringLiteral("cleanUpTranscripts")));
}

TEST_F(AppSettingsTest, BooleansWhoseDefaultIsTrueReadStoredFalse) {
    writeStore(R"({"showMenuBarIcon":{"type":"bool","value":false},
                   "cleanupValidationEnabled":{"type":"bool","value":false},
                   "cleanupAlwaysJudge":{"type":"bool","value":true}})");
    DefaultsStore defaults(storePath());
    AppSettings settings(defaults);
    EXPECT_FALSE(settings.showMenuBarIcon());
    EXPECT_FALSE(settings.cleanupValidationEnabled());
    EXPECT_TRUE(settings.cleanupAlwaysJudge());
}

TEST_F(AppSettingsTest, ValuesOfTheWrongTypeFallBackToDefaults) {
    writeStore(R"({"showMenuBarIcon":{"type":"integer","value":0},
                   "cleanupValidationEnabled":{"type":"string","value":"false"},
                   "onboardingCompleted":{"type":"string","value":"true"},
                   "language":{"type":"integer","value":5},
                   "selectedModel":{"type":"bool","value":true},
                   "inputDeviceUID":{"type":"data","value":"bWlj"},
                   "hotkeyConfig":{"type":"string","value":"{}"},
                   "translationTargetLanguage":{"type":"bool","value":false}})");
    DefaultsStore defaults(storePath());
    AppSettings settings(defaults);
    EXPECT_TRUE(settings.showMenuBarIcon());
    EXPECT_TRUE(settings.cleanupValidationEnabled());
    EXPECT_FALSE(settings.onboardingCompleted());
    EXPECT_EQ(settings.language(), QStringLiteral("auto"));
    EXPECT_EQ(settings.selectedModel(), WhisperModel::Kind::turbo);
    EXPECT_FALSE(settings.inputDeviceUID().has_value());
    EXPECT_EQ(settings.hotkey(), HotkeyConfig::defaultRecording());
    EXPECT_EQ(settings.translationTargetLanguage(), QStringLiteral("en"));
}

TEST_F(AppSettingsTest, UnmatchedStringsFallBackToTheFirstCase) {
    struct Case {
        const char* model;
        const char* appearance;
        WhisperModel::Kind expectedModel;
        AppAppearance expectedAppearance;
    };
    const Case cases[] = {
        {"full", "dark", WhisperModel::Kind::full, AppAppearance::dark},
        {"FULL", "Dark", WhisperModel::Kind::turbo, AppAppearance::system},
        {"large", "night", WhisperModel::Kind::turbo, AppAppearance::system},
        {"", "", WhisperModel::Kind::turbo, AppAppearance::system},
        {"turbo", "light", WhisperModel::Kind::turbo, AppAppearance::light},
    };
    for (const Case& c : cases) {
        DefaultsStore defaults(storePath());
        defaults.setString(QStringLiteral("selectedModel"), QString::fromUtf8(c.model));
        defaults.setString(QStringLiteral("appearance"), QString::fromUtf8(c.appearance));
        AppSettings settings(defaults);
        EXPECT_EQ(settings.selectedModel(), c.expectedModel) << c.model;
        EXPECT_EQ(settings.appearance(), c.expectedAppearance) << c.appearance;
    }
}

TEST_F(AppSettingsTest, RemovingTheInputDeviceRemovesTheKey) {
    {
        DefaultsStore defaults(storePath());
        AppSettings settings(defaults);
        settings.setInputDeviceUID(QStringLiteral("usb-mic"));
        EXPECT_TRUE(defaults.contains(QStringLiteral("inputDeviceUID")));
        settings.setInputDeviceUID(std::nullopt);
        EXPECT_FALSE(defaults.contains(QStringLiteral("inputDeviceUID")));
    }
    DefaultsStore defaults(storePath());
    AppSettings settings(defaults);
    EXPECT_FALSE(settings.inputDeviceUID().has_value());
}

TEST_F(AppSettingsTest, CorruptHotkeyDataGivesTheDefaultAndStaysUntilTheNextSet) {
    const QByteArray corrupt = "{\"keyCode\":63,\"modifierFl";
    {
        DefaultsStore defaults(storePath());
        defaults.setData(QStringLiteral("hotkeyConfig"), corrupt);
        defaults.setData(
            QStringLiteral("translationHotkeyConfig"),
            R"({"keyCode":70000,"modifierFlagsRawValue":0,"isModifierOnly":false,"displayName":"x"})");
    }
    DefaultsStore defaults(storePath());
    AppSettings settings(defaults);
    EXPECT_EQ(settings.hotkey(), HotkeyConfig::defaultRecording());
    EXPECT_EQ(settings.translationHotkey(), HotkeyConfig::defaultTranslation());
    EXPECT_EQ(defaults.dataValue(QStringLiteral("hotkeyConfig")), corrupt);

    const HotkeyConfig rightOption{61, 0, true, QStringLiteral("Right Option")};
    settings.setHotkey(rightOption);
    EXPECT_EQ(HotkeyConfig::fromJson(*defaults.dataValue(QStringLiteral("hotkeyConfig"))),
              rightOption);
}

TEST_F(AppSettingsTest, DamagedDefaultsFileGivesDefaultsAndIsKeptAside) {
    writeFile(storePath(), "\x01\x02 this is not json");
    DefaultsStore defaults(storePath());
    AppSettings settings(defaults);
    EXPECT_EQ(settings.language(), QStringLiteral("auto"));
    EXPECT_TRUE(settings.showMenuBarIcon());
    EXPECT_EQ(readFile(defaults.damagedFileBackup()), "\x01\x02 this is not json");
}

TEST_F(AppSettingsTest, SubscribersReceiveTheCurrentValueFirstThenEveryAssignment) {
    DefaultsStore defaults(storePath());
    defaults.setString(QStringLiteral("language"), QStringLiteral("fr"));
    AppSettings settings(defaults);

    QStringList seen;
    QObject receiver;
    observe(&settings, &AppSettings::language, &AppSettings::languageChanged, &receiver,
            [&seen](const QString& code) { seen.append(code); });
    settings.setLanguage(QStringLiteral("de"));
    settings.setLanguage(QStringLiteral("de")); // repeats are delivered and written too

    EXPECT_EQ(seen,
              (QStringList{QStringLiteral("fr"), QStringLiteral("de"), QStringLiteral("de")}));
}

} // namespace
