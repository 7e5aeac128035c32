#include "input/HotkeyManager.h"

#include "Fakes.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

using Type = KeyEvent::Type;

class RecordingDelegate final : public HotkeyManagerDelegate {
public:
    void hotkeyPressed() override { calls.append(QStringLiteral("pressed")); }
    void hotkeyReleased() override { calls.append(QStringLiteral("released")); }
    void translationHotkeyPressed() override { calls.append(QStringLiteral("translation")); }
    QStringList calls;
};

class HotkeyManagerTest : public ::testing::Test {
protected:
    void useHotkeys(HotkeyConfig primary, std::optional<HotkeyConfig> secondary) {
        manager.setConfig(primary);
        manager.setSecondaryConfig(secondary);
    }
    void flags(std::uint16_t keyCode, std::uint64_t held) {
        source.send({Type::flagsChanged, keyCode, false, held});
    }
    void down(std::uint16_t keyCode, std::uint64_t held = 0, bool repeat = false) {
        source.send({Type::keyDown, keyCode, repeat, held});
    }
    void up(std::uint16_t keyCode, std::uint64_t held = 0) {
        source.send({Type::keyUp, keyCode, false, held});
    }

    FakeKeyEventSource source;
    RecordingDelegate delegate;
    HotkeyManager manager{HotkeyConfig::defaultRecording(), HotkeyConfig::defaultTranslation(),
                          source};

    void SetUp() override {
        manager.setDelegate(&delegate);
        ASSERT_TRUE(manager.start());
    }
};

const std::uint64_t controlOption = ModifierFlag::control | ModifierFlag::option;

TEST_F(HotkeyManagerTest, FnPressAndReleaseAreReportedOnceWhateverElseIsHeld) {
    flags(KeyCode::function, ModifierFlag::function);
    flags(KeyCode::leftShift, ModifierFlag::function | ModifierFlag::shift);
    flags(KeyCode::function, ModifierFlag::function | ModifierFlag::shift);
    flags(KeyCode::leftShift, ModifierFlag::function);
    flags(KeyCode::function, 0);
    EXPECT_EQ(delegate.calls, (QStringList{QStringLiteral("pressed"), QStringLiteral("released")}));
}

TEST_F(HotkeyManagerTest, OrdinaryHotkeyNeedsExactModifiersAndIgnoresAutorepeat) {
    down(KeyCode::t, controlOption);
    down(KeyCode::t, controlOption, true);
    down(KeyCode::t, controlOption, true);
    EXPECT_EQ(delegate.calls, QStringList{QStringLiteral("translation")});

    up(KeyCode::t);
    delegate.calls.clear();
    down(KeyCode::t, controlOption | ModifierFlag::shift); // extra Shift: not the hotkey
    down(KeyCode::t, ModifierFlag::control);               // missing Option
    EXPECT_TRUE(delegate.calls.isEmpty());

    // Caps Lock, Fn and device-specific bits are ignored.
    down(KeyCode::t, controlOption | 0x10000 | ModifierFlag::function | 0x1);
    EXPECT_EQ(delegate.calls, QStringList{QStringLiteral("translation")});
}

TEST_F(HotkeyManagerTest, OrdinaryRecordingHotkeyReleasesWhateverModifiersAreHeld) {
    useHotkeys(HotkeyConfig{KeyCode::t, controlOption, false, QStringLiteral("⌃⌥T")}, std::nullopt);
    up(KeyCode::t, controlOption); // no accepted press before: nothing
    EXPECT_TRUE(delegate.calls.isEmpty());
    down(KeyCode::t, controlOption);
    down(KeyCode::t, controlOption); // already down
    up(KeyCode::t, 0);
    up(KeyCode::t, 0);
    EXPECT_EQ(delegate.calls, (QStringList{QStringLiteral("pressed"), QStringLiteral("released")}));
}

TEST_F(HotkeyManagerTest, LeftAndRightCommandShareOneFlag) {
    useHotkeys(HotkeyConfig{KeyCode::rightCommand, 0, true, QStringLiteral("Right Command")},
               std::nullopt);
    flags(KeyCode::rightCommand, ModifierFlag::command);
    flags(KeyCode::leftCommand, ModifierFlag::command);
    flags(KeyCode::rightCommand, ModifierFlag::command); // right released, left still held
    EXPECT_EQ(delegate.calls, QStringList{QStringLiteral("pressed")});
    flags(KeyCode::leftCommand, 0); // an event for the other key is not ours
    EXPECT_EQ(delegate.calls, QStringList{QStringLiteral("pressed")});
    flags(KeyCode::rightCommand, 0);
    EXPECT_EQ(delegate.calls, (QStringList{QStringLiteral("pressed"), QStringLiteral("released")}));
}

TEST_F(HotkeyManagerTest, IdenticalHotkeysTriggerBoth) {
    const HotkeyConfig same{KeyCode::rightOption, 0, true, QStringLiteral("Right Option")};
    useHotkeys(same, same);
    flags(KeyCode::rightOption, ModifierFlag::option);
    flags(KeyCode::rightOption, 0);
    EXPECT_EQ(delegate.calls, (QStringList{QStringLiteral("pressed"), QStringLiteral("translation"),
                                           QStringLiteral("released")}));
}

TEST_F(HotkeyManagerTest, ADisabledSourceIsReenabledAndKeepsWorking) {
    source.send({Type::disabledByTimeout, 0, false, 0});
    source.send({Type::disabledByUserInput, 0, false, 0});
    EXPECT_EQ(source.reenableCount, 2);
    EXPECT_TRUE(delegate.calls.isEmpty());
    flags(KeyCode::function, ModifierFlag::function);
    EXPECT_EQ(delegate.calls, QStringList{QStringLiteral("pressed")});
}

TEST_F(HotkeyManagerTest, StartStopAndRefusal) {
    EXPECT_TRUE(manager.start()); // already running: no second start
    EXPECT_EQ(source.startCount, 1);
    flags(KeyCode::function, ModifierFlag::function);
    manager.stop();
    EXPECT_FALSE(manager.isKeyCurrentlyDown());
    EXPECT_FALSE(manager.isRunning());

    source.refuse = true;
    EXPECT_FALSE(manager.start());
}

TEST_F(HotkeyManagerTest, WithoutADelegateOnlyTheDownFlagsChange) {
    manager.setDelegate(nullptr);
    flags(KeyCode::function, ModifierFlag::function);
    down(KeyCode::t, controlOption);
    EXPECT_TRUE(manager.isKeyCurrentlyDown());
    EXPECT_TRUE(manager.isSecondaryKeyDown());
    EXPECT_TRUE(delegate.calls.isEmpty());
}

} // namespace
