#include "app/RecordingIndicatorController.h"

#include "Fakes.h"
#include "ManualClock.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

class RecordingIndicatorControllerTest : public ::testing::Test {
protected:
    ManualClock clock;
    int panelsCreated = 0;
    std::shared_ptr<FakeIndicatorPanel::Record> panel =
        std::make_shared<FakeIndicatorPanel::Record>();
    RecordingIndicatorController indicator{[this] {
                                               ++panelsCreated;
                                               return std::make_unique<FakeIndicatorPanel>(panel);
                                           },
                                           clock};
};

TEST_F(RecordingIndicatorControllerTest, APanelIsCreatedOnFirstUseAndKept) {
    EXPECT_EQ(panelsCreated, 0);
    indicator.hide(); // nothing to hide yet
    EXPECT_EQ(panelsCreated, 0);
    indicator.show(IndicatorState::recording());
    indicator.hide();
    indicator.show(IndicatorState::transcribing());
    EXPECT_EQ(panelsCreated, 1);
    EXPECT_EQ(panel->showCount, 2);
}

TEST_F(RecordingIndicatorControllerTest, UpdateChangesContentInPlaceOrShowsTheFirstTime) {
    indicator.update(IndicatorState::transcribing());
    EXPECT_TRUE(panel->visible);
    EXPECT_EQ(panel->showCount, 1);
    EXPECT_EQ(panel->state, IndicatorState::transcribing());
    indicator.update(IndicatorState::cleaning());
    EXPECT_EQ(panel->showCount, 1);
    EXPECT_EQ(panel->state, IndicatorState::cleaning());
    EXPECT_EQ(panel->state->text(), QStringLiteral("Polishing…"));
}

TEST_F(RecordingIndicatorControllerTest, AFlashHidesAfterItsDuration) {
    indicator.flash(QStringLiteral("Auto-translate off"), 1200ms);
    EXPECT_EQ(panel->state, IndicatorState::info(QStringLiteral("Auto-translate off")));
    EXPECT_TRUE(panel->visible);
    clock.advance(1199ms);
    EXPECT_TRUE(panel->visible);
    clock.advance(1ms);
    EXPECT_FALSE(panel->visible);
    EXPECT_FALSE(indicator.hasPendingFlash());
}

TEST_F(RecordingIndicatorControllerTest, AShowDuringAFlashKeepsThePanelVisible) {
    indicator.flash(QStringLiteral("Auto-translate off"), 1200ms);
    clock.advance(500ms);
    indicator.show(IndicatorState::recording());
    clock.advance(2s);
    EXPECT_TRUE(panel->visible);
    EXPECT_EQ(panel->state, IndicatorState::recording());
}

TEST_F(RecordingIndicatorControllerTest, OnlyTheLatestOfTwoFlashesHides) {
    indicator.flash(QStringLiteral("first"), 1200ms);
    clock.advance(500ms);
    indicator.flash(QStringLiteral("second"), 1200ms);
    clock.advance(700ms); // the first one's expiry
    EXPECT_TRUE(panel->visible);
    EXPECT_EQ(panel->state, IndicatorState::info(QStringLiteral("second")));
    clock.advance(500ms);
    EXPECT_FALSE(panel->visible);
}

TEST_F(RecordingIndicatorControllerTest, AnUpdateDoesNotCancelAFlashExpiry) {
    indicator.flash(QStringLiteral("note"), 1200ms);
    indicator.update(IndicatorState::transcribing());
    clock.advance(1200ms);
    EXPECT_FALSE(panel->visible);
}

} // namespace
