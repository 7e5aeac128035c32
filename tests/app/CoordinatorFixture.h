#pragma once

#include "Fakes.h"
#include "LogCapture.h"
#include "ManualClock.h"
#include "TestEnvironment.h"
#include "app/RecordingCoordinator.h"
#include "store/AppSettings.h"
#include "store/DefaultsStore.h"
#include "store/UsageStatsStore.h"

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const RecordingCoordinator::Status& status, std::ostream* out) {
    *out << "Status(" << static_cast<int>(status.kind) << ", \"" << status.label().toStdString()
         << "\")";
}

// A coordinator over fakes, with settings and statistics in a private store.
class CoordinatorFixture : public ::testing::Test {
protected:
    CoordinatorFixture() { recorder.setDelegate(&coordinator); }

    using Status = RecordingCoordinator::Status;

    void installSpeechModel() { writeFile(WhisperModel::turbo().localURL(), "model"); }
    void installCleanupModel() { writeFile(CleanupModel::defaultModel().localURL(), "model"); }

    // Press and release the recording hotkey `held` apart.
    void tap(Clock::Duration held = std::chrono::milliseconds(200)) {
        coordinator.hotkeyPressed();
        clock.advance(held);
        coordinator.hotkeyReleased();
    }
    // A full hold-to-talk dictation.
    void dictate() { tap(std::chrono::seconds(2)); }

    ScopedTestHome home;
    ManualClock clock;
    DefaultsStore defaults{home.path(QStringLiteral("config/murmex/defaults.json"))};
    AppSettings settings{defaults};
    UsageStatsStore stats{defaults};
    FakeRecorder recorder;
    FakeTranscription transcription;
    FakeCleanup cleanup;
    FakeTranslation translation;
    FakeHistory history;
    FakeDownloads downloads;
    FakeTextInserter inserter;
    FakeKeyEventSource keyEvents;
    std::shared_ptr<FakeIndicatorPanel::Record> panel =
        std::make_shared<FakeIndicatorPanel::Record>();
    RecordingCoordinator coordinator{RecordingCoordinator::Services{
        .settings = settings,
        .recorder = recorder,
        .transcription = transcription,
        .cleanup = cleanup,
        .translation = translation,
        .history = history,
        .stats = stats,
        .downloadManager = downloads,
        .textInserter = inserter,
        .keyEvents = keyEvents,
        .indicatorPanelFactory =
            [record = panel] { return std::make_unique<FakeIndicatorPanel>(record); },
        .clock = clock,
    }};
};
