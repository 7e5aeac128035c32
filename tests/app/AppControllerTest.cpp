#include "app/AppController.h"

#include "AwaitTask.h"
#include "Fakes.h"
#include "HttpsServer.h"
#include "ManualClock.h"
#include "TestEnvironment.h"
#include "store/AppSettings.h"
#include "store/DefaultsStore.h"

#include <gtest/gtest.h>

namespace {

// Builds a controller over fakes while keeping pointers to them for checks.
class AppControllerTest : public ::testing::Test {
protected:
    std::unique_ptr<AppController> makeController() {
        auto loginItemsOwned = std::make_unique<FakeLoginItems>();
        auto keyEventsOwned = std::make_unique<FakeKeyEventSource>();
        auto probeOwned = std::make_unique<FakePermissionProbe>();
        auto transcriptionOwned = std::make_unique<FakeTranscription>();
        auto cleanupOwned = std::make_unique<FakeCleanup>();
        auto recorderOwned = std::make_unique<FakeRecorder>();
        loginItems = loginItemsOwned.get();
        keyEvents = keyEventsOwned.get();
        probe = probeOwned.get();
        transcription = transcriptionOwned.get();
        cleanup = cleanupOwned.get();
        recorder = recorderOwned.get();
        *probe = probeState;
        loginItems->registered = loginItemRegistered;
        return std::make_unique<AppController>(
            settings, defaults,
            AppEnvironment{
                .clock = clock,
                .loginItems = std::move(loginItemsOwned),
                .keyEvents = std::move(keyEventsOwned),
                .permissionProbe = std::move(probeOwned),
                .textInserter = std::make_unique<FakeTextInserter>(),
                .indicatorPanelFactory =
                    [] {
                        return std::make_unique<FakeIndicatorPanel>(
                            std::make_shared<FakeIndicatorPanel::Record>());
                    },
                .applyAppearance =
                    [this](AppAppearance appearance) { appearances.append(appearance); },
                .recorder = std::move(recorderOwned),
                .transcription = std::move(transcriptionOwned),
                .cleanup = std::move(cleanupOwned),
                .translation = std::make_unique<FakeTranslation>(),
                .history = std::make_unique<FakeHistory>(),
                .downloadManager = std::make_unique<FakeDownloads>(),
                .cleanupDownloadManager = std::make_unique<FakeDownloads>(),
                .mediaLinks = {},
                .feeds = feeds,
            });
    }

    // Points the update check at `server`, which offers version 9.0.
    void serveUpdates(HttpsServer& server) {
        server.writeFile(
            QStringLiteral("updates/latest.json"),
            R"({"version": "9.0", "download_url": "https://murmex.app/d", "release_notes": ""})");
        feeds.updateFeedURL = server.url(QStringLiteral("/updates/latest.json"));
        feeds.extraTrustedCertificates = {server.certificate()};
    }

    ScopedTestHome home;
    ManualClock clock;
    DefaultsStore defaults{home.path(QStringLiteral("defaults.json"))};
    AppSettings settings{defaults};
    FakePermissionProbe probeState;
    bool loginItemRegistered = false;
    QList<AppAppearance> appearances;
    // No test reaches the product's servers: by default the update check
    // meets a closed local port.
    AppEnvironment::Feeds feeds{
        .updateFeedURL = QUrl(QStringLiteral("https://127.0.0.1:1/updates/latest.json")),
        .newsFeedURL = {},
        .currentVersion = QStringLiteral("1.0"),
        .extraTrustedCertificates = {},
    };

    FakeLoginItems* loginItems = nullptr;
    FakeKeyEventSource* keyEvents = nullptr;
    FakePermissionProbe* probe = nullptr;
    FakeTranscription* transcription = nullptr;
    FakeCleanup* cleanup = nullptr;
    FakeRecorder* recorder = nullptr;
};

TEST_F(AppControllerTest, FirstLaunchStartsNoHotkeyAndLoadsNoModel) {
    writeFile(WhisperModel::turbo().localURL(), "model");
    auto controller = makeController();
    controller->start();
    EXPECT_EQ(keyEvents->startCount, 0);
    EXPECT_TRUE(transcription->loadedKinds.empty());
    EXPECT_EQ(controller->navigation().section(), AppSection::home);
}

TEST_F(AppControllerTest, StartAfterOnboardingListensAndPreloadsPresentModels) {
    settings.setOnboardingCompleted(true);
    settings.setSelectedModel(WhisperModel::Kind::full);
    settings.setCleanUpTranscripts(true);
    writeFile(WhisperModel::full().localURL(), "model");
    auto controller = makeController();
    controller->start();
    EXPECT_TRUE(keyEvents->isRunning());
    EXPECT_EQ(transcription->loadedKinds, std::vector{WhisperModel::Kind::full});
    EXPECT_EQ(cleanup->loadCount, 0); // its file is missing

    writeFile(CleanupModel::defaultModel().localURL(), "model");
    controller->loadCleanupModelIfEnabled();
    EXPECT_EQ(cleanup->loadCount, 1);
}

TEST_F(AppControllerTest, AutoTranslateAloneDoesNotPreloadTheLanguageModelAtStart) {
    settings.setOnboardingCompleted(true);
    settings.setAutoTranslateEnabled(true);
    writeFile(CleanupModel::defaultModel().localURL(), "model");
    auto controller = makeController();
    controller->start();
    EXPECT_EQ(cleanup->loadCount, 0);
}

TEST_F(AppControllerTest, CompletingOnboardingPersistsListensAndPreloads) {
    writeFile(WhisperModel::turbo().localURL(), "model");
    auto controller = makeController();
    controller->completeOnboarding();
    EXPECT_TRUE(settings.onboardingCompleted());
    EXPECT_TRUE(defaults.boolValue(QStringLiteral("onboardingCompleted")));
    EXPECT_TRUE(keyEvents->isRunning());
    EXPECT_EQ(transcription->loadedKinds, std::vector{WhisperModel::Kind::turbo});
}

TEST_F(AppControllerTest, LaunchAtLoginIsReappliedAtStartAndOnlyOnChanges) {
    settings.setLaunchAtLogin(true);
    auto controller = makeController(); // registration was missing: restored
    EXPECT_TRUE(loginItems->registered);
    EXPECT_EQ(loginItems->registerCount, 1);
    settings.setLaunchAtLogin(true); // repeat: skipped
    EXPECT_EQ(loginItems->registerCount, 1);
    settings.setLaunchAtLogin(false);
    EXPECT_FALSE(loginItems->registered);
    EXPECT_EQ(loginItems->unregisterCount, 1);
}

TEST_F(AppControllerTest, AStaleRegistrationIsRemovedWhileTheSettingIsOff) {
    loginItemRegistered = true;
    auto controller = makeController();
    EXPECT_FALSE(loginItems->registered);
}

TEST_F(AppControllerTest, AppearanceIsAppliedAtOnceAndOnEachChange) {
    settings.setAppearance(AppAppearance::dark);
    auto controller = makeController();
    settings.setAppearance(AppAppearance::dark);
    settings.setAppearance(AppAppearance::system);
    EXPECT_EQ(appearances, (QList<AppAppearance>{AppAppearance::dark, AppAppearance::system}));
}

TEST_F(AppControllerTest, GrantingKeyAccessRestartsTheHotkeyOnceAfterOnboarding) {
    settings.setOnboardingCompleted(true);
    probeState.accessibilityStatus = PermissionStatus::denied;
    probeState.inputMonitoringStatus = PermissionStatus::denied;
    auto controller = makeController();
    controller->start();
    const int startsBefore = keyEvents->startCount;

    probe->accessibilityStatus = PermissionStatus::granted;
    controller->applicationDidBecomeActive();
    EXPECT_EQ(keyEvents->stopCount, 1);
    EXPECT_EQ(keyEvents->startCount, startsBefore + 1);

    probe->inputMonitoringStatus = PermissionStatus::granted; // still "can listen": no restart
    controller->applicationDidBecomeActive();
    probe->accessibilityStatus = PermissionStatus::denied;
    probe->inputMonitoringStatus = PermissionStatus::denied; // revocation: nothing here
    controller->applicationDidBecomeActive();
    EXPECT_EQ(keyEvents->stopCount, 1);
    EXPECT_EQ(keyEvents->startCount, startsBefore + 1);
}

TEST_F(AppControllerTest, PermissionChangesBeforeOnboardingDoNotStartTheHotkey) {
    auto controller = makeController();
    probe->inputMonitoringStatus = PermissionStatus::granted;
    controller->applicationDidBecomeActive();
    EXPECT_EQ(keyEvents->startCount, 0);
}

TEST_F(AppControllerTest, HotkeySettingsReachTheManagerAndForgetAHeldKey) {
    settings.setOnboardingCompleted(true);
    auto controller = makeController();
    controller->start();
    HotkeyManager& manager = controller->coordinator().hotkeyManager();

    keyEvents->send(
        {KeyEvent::Type::flagsChanged, KeyCode::function, false, ModifierFlag::function});
    EXPECT_TRUE(manager.isKeyCurrentlyDown());
    EXPECT_EQ(controller->coordinator().status().kind,
              RecordingCoordinator::Status::Kind::recording);

    const HotkeyConfig rightOption{KeyCode::rightOption, 0, true, QStringLiteral("Right Option")};
    settings.setHotkey(rightOption);
    EXPECT_EQ(manager.config(), rightOption);
    EXPECT_FALSE(manager.isKeyCurrentlyDown());
    // The release of the old key is no longer delivered.
    keyEvents->send({KeyEvent::Type::flagsChanged, KeyCode::function, false, 0});
    EXPECT_EQ(controller->coordinator().status().kind,
              RecordingCoordinator::Status::Kind::recording);
    EXPECT_EQ(recorder->stopCount, 0);

    const HotkeyConfig f5{96, ModifierFlag::control, false, QStringLiteral("⌃F5")};
    settings.setTranslationHotkey(f5);
    EXPECT_EQ(manager.secondaryConfig(), f5);
}

TEST(AppSectionTest, SectionsInSidebarOrder) {
    QStringList names;
    for (const AppSection section : AppSections::all()) {
        names.append(AppSections::rawValue(section));
    }
    EXPECT_EQ(names, (QStringList{QStringLiteral("Home"), QStringLiteral("Transcribe"),
                                  QStringLiteral("History"), QStringLiteral("Settings")}));
}

TEST_F(AppControllerTest, FirstLaunchStillChecksForUpdates) {
    HttpsServer server;
    ASSERT_TRUE(server.isRunning()) << server.output().toStdString();
    serveUpdates(server);
    auto controller = makeController();
    EXPECT_EQ(controller->news().items(), NewsProvider::builtInItems());

    controller->start();

    EXPECT_EQ(keyEvents->startCount, 0);
    ASSERT_TRUE(waitUntil([&] { return controller->update().availableUpdate().has_value(); }));
    EXPECT_EQ(controller->update().availableUpdate()->version, "9.0");
}

TEST_F(AppControllerTest, BecomingActiveChecksForUpdatesAtMostOnceADay) {
    HttpsServer server;
    ASSERT_TRUE(server.isRunning()) << server.output().toStdString();
    serveUpdates(server);
    const QString path = QStringLiteral("/updates/latest.json");
    auto controller = makeController();
    controller->start();
    ASSERT_TRUE(waitUntil([&] { return controller->update().availableUpdate().has_value(); }));
    ASSERT_EQ(server.requestCount(path), 1);

    clock.advance(std::chrono::hours(23));
    controller->applicationDidBecomeActive();
    EXPECT_FALSE(waitUntil([&] { return server.requestCount(path) > 1; }, 300));

    clock.advance(std::chrono::hours(2));
    controller->applicationDidBecomeActive();
    EXPECT_TRUE(waitUntil([&] { return server.requestCount(path) == 2; }));
}

TEST_F(AppControllerTest, ControllerDestroyedDuringAnUpdateCheckIsSafe) {
    HttpsServer server;
    ASSERT_TRUE(server.isRunning()) << server.output().toStdString();
    serveUpdates(server);
    auto controller = makeController();
    controller->start();
    controller.reset();
    EXPECT_FALSE(waitUntil([] { return false; }, 200));
}

} // namespace
