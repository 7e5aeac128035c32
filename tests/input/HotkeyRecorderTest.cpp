#include "input/HotkeyRecorder.h"

#include "Fakes.h"

#include <QList>

#include <gtest/gtest.h>

namespace {

using Type = KeyEvent::Type;

class HotkeyRecorderTest : public ::testing::Test {
protected:
    FakeKeyNames names;
    HotkeyRecorder recorder{names};
};

TEST_F(HotkeyRecorderTest, AcceptedModifierKeysAndTheirNames) {
    const std::pair<std::uint16_t, const char*> accepted[] = {{54, "Right Command"},
                                                              {58, "Left Option"},
                                                              {61, "Right Option"},
                                                              {62, "Right Control"},
                                                              {63, "Fn"}};
    for (const auto& [code, name] : accepted) {
        EXPECT_EQ(recorder.configFor({Type::flagsChanged, code, false, 0}),
                  (HotkeyConfig{code, 0, true, QString::fromUtf8(name)}));
    }
    for (const std::uint16_t ignored : {55, 56, 57, 59, 60}) {
        EXPECT_FALSE(recorder.configFor({Type::flagsChanged, ignored, false, 0})) << ignored;
    }
    EXPECT_FALSE(recorder.configFor({Type::keyUp, 0, false, 0}));
}

TEST_F(HotkeyRecorderTest, OrdinaryKeysAreNamedWithModifierSymbolsInOrder) {
    const std::uint64_t all = ModifierFlag::command | ModifierFlag::shift | ModifierFlag::option |
                              ModifierFlag::control | ModifierFlag::function | 0x10000;
    EXPECT_EQ(recorder.configFor({Type::keyDown, 0, false, all}),
              (HotkeyConfig{0, 0x1E0000, false, QStringLiteral("⌃⌥⇧⌘A")}));
    EXPECT_EQ(
        recorder.configFor({Type::keyDown, 0, false, ModifierFlag::command | ModifierFlag::shift})
            ->displayName,
        QStringLiteral("⇧⌘A"));
    EXPECT_EQ(recorder.configFor({Type::keyDown, 53, false, 0}),
              (HotkeyConfig{53, 0, false, QStringLiteral("Esc")}));
}

TEST_F(HotkeyRecorderTest, KeyNamesFixedFromTheLayoutOrByCode) {
    EXPECT_EQ(recorder.keyName(49), QStringLiteral("Space"));
    EXPECT_EQ(recorder.keyName(36), QStringLiteral("Return"));
    EXPECT_EQ(recorder.keyName(122), QStringLiteral("F1"));
    EXPECT_EQ(recorder.keyName(111), QStringLiteral("F12"));
    EXPECT_EQ(recorder.keyName(0), QStringLiteral("A"));
    EXPECT_EQ(recorder.keyName(130), QStringLiteral("Key 130"));
    names.texts[131] = QString();
    EXPECT_EQ(recorder.keyName(131), QStringLiteral("Key 131"));
}

TEST_F(HotkeyRecorderTest, RecordingSwallowsEventsUntilAnAcceptableKey) {
    QList<HotkeyConfig> recorded;
    QObject::connect(&recorder, &HotkeyRecorder::recorded,
                     [&recorded](const HotkeyConfig& config) { recorded.append(config); });
    EXPECT_FALSE(recorder.handleEvent({Type::keyDown, 0, false, 0})); // not recording
    recorder.toggleRecording();
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_TRUE(recorder.handleEvent({Type::flagsChanged, 56, false, ModifierFlag::shift}));
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_TRUE(recorder.handleEvent(
        {Type::keyDown, 2, false, ModifierFlag::shift | ModifierFlag::command}));
    EXPECT_FALSE(recorder.isRecording());
    ASSERT_EQ(recorded.size(), 1);
    EXPECT_EQ(recorded[0], (HotkeyConfig{2, 0x120000, false, QStringLiteral("⇧⌘D")}));

    recorder.toggleRecording();
    recorder.toggleRecording(); // clicking again stops without a change
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(recorded.size(), 1);
}

TEST(HotkeyWarningTest, ConflictWarnings) {
    const std::uint64_t command = ModifierFlag::command;
    const std::uint64_t control = ModifierFlag::control;
    const std::uint64_t option = ModifierFlag::option;
    const struct {
        std::uint16_t code;
        std::uint64_t flags;
        bool modifierOnly;
        const char* warning;
    } rows[] = {
        {63, 0, true,
         "Many keyboards never report the Fn key to the system, so it may not work. "
         "Consider another key."},
        {54, 0, true, nullptr},
        {103, 0, false, "F11 toggles full screen in most applications."},
        {111, command, false,
         "F12 opens drop-down terminals and developer tools on many desktops."},
        {48, command | ModifierFlag::shift, false,
         "⌘Tab switches applications on many Linux desktops."},
        {48, control, false, nullptr},
        {49, command | control, false,
         "⌘Space switches keyboard layouts on many Linux desktops and won't be reliable for "
         "dictation."},
        {49, control, false,
         "⌃Space switches input methods on many Linux desktops. Consider another key."},
        {49, 0, false, nullptr},
        {17, control | option, false, "⌃⌥T opens a terminal on many Linux desktops."},
        {17, control | option | ModifierFlag::shift, false, nullptr},
        {0, command, false, nullptr},
    };
    for (const auto& row : rows) {
        const auto warning = HotkeyRecorder::conflictWarning(row.code, row.flags, row.modifierOnly);
        if (row.warning) {
            EXPECT_EQ(warning, QString::fromUtf8(row.warning)) << row.code;
        } else {
            EXPECT_FALSE(warning.has_value()) << row.code;
        }
    }
}

TEST(HotkeyWarningTest, TranslationHotkeyEqualToTheRecordingHotkey) {
    const HotkeyConfig rightOption{61, 0, true, QStringLiteral("Right Option")};
    EXPECT_EQ(HotkeyRecorder::translationHotkeyWarning(rightOption, rightOption),
              HotkeyRecorder::sameAsRecordingWarning);
    EXPECT_EQ(HotkeyRecorder::translationHotkeyWarning(HotkeyConfig::defaultTranslation(),
                                                       HotkeyConfig::defaultRecording()),
              QStringLiteral("⌃⌥T opens a terminal on many Linux desktops."));
    EXPECT_FALSE(
        HotkeyRecorder::translationHotkeyWarning(rightOption, HotkeyConfig::defaultRecording()));
}

} // namespace
