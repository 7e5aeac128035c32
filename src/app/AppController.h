#pragma once

#include "app/NavigationState.h"
#include "app/RecordingCoordinator.h"
#include "app/RecordingIndicatorController.h"
#include "feeds/NewsProvider.h"
#include "feeds/UpdateChecker.h"
#include "input/PermissionsManager.h"
#include "speech/MediaURLDownloaderInterface.h"
#include "store/AppAppearance.h"

#include <QObject>

#include <functional>
#include <memory>

class AppSettings;
class AudioRecorderInterface;
class DefaultsStore;
class HistoryStoreInterface;
class KeyEventSource;
class MediaTranscriptionService;
class LoginItemService;
class ModelDownloadManagerInterface;
class PermissionProbe;
class TextCleanupServiceInterface;
class TextInserter;
class TranscriptionServiceInterface;
class TranslationServiceInterface;
class UsageStatsStore;

// Everything the composition root takes from outside: the desktop adapters
// and the services it hands to the pipeline. Tests pass fakes.
struct AppEnvironment {
    Clock& clock;
    std::unique_ptr<LoginItemService> loginItems;
    std::unique_ptr<KeyEventSource> keyEvents;
    std::unique_ptr<PermissionProbe> permissionProbe;
    std::unique_ptr<TextInserter> textInserter;
    RecordingIndicatorController::PanelFactory indicatorPanelFactory;
    std::function<void(AppAppearance)> applyAppearance;

    std::unique_ptr<AudioRecorderInterface> recorder;
    std::unique_ptr<TranscriptionServiceInterface> transcription;
    std::unique_ptr<TextCleanupServiceInterface> cleanup;
    std::unique_ptr<TranslationServiceInterface> translation;
    std::unique_ptr<HistoryStoreInterface> history;
    std::unique_ptr<ModelDownloadManagerInterface> downloadManager;
    std::unique_ptr<ModelDownloadManagerInterface> cleanupDownloadManager;
    MediaLinkSupport mediaLinks;

    // Where the online feeds live and which version is running; tests point
    // the feeds at a local server whose certificate they trust.
    struct Feeds {
        QUrl updateFeedURL = UpdateChecker::defaultFeedURL();
        QUrl newsFeedURL = NewsProvider::defaultFeedURL();
        QString currentVersion = QStringLiteral(MURMEX_VERSION);
        QList<QSslCertificate> extraTrustedCertificates;
    };
    Feeds feeds = {};

    // The environment of the running desktop application.
    static AppEnvironment desktop();
};

// The composition root: creates every service once, in a fixed order, wires
// the settings to the platform and runs the start-up routine. Main thread.
class AppController final : public QObject {
    Q_OBJECT

public:
    AppController(AppSettings& settings, DefaultsStore& defaults, AppEnvironment environment,
                  QObject* parent = nullptr);
    ~AppController() override;

    // The application's one controller, over the standard settings and the
    // desktop environment, created on first use.
    static AppController& shared();

    // Once onboarding is complete: starts the hotkey and preloads the models.
    void start();
    // Preloads the selected speech model when its file is present.
    void loadSelectedSpeechModel();
    // Preloads the cleanup model when cleanup is on and its file is present.
    void loadCleanupModelIfEnabled();
    // The end of the first-run flow.
    void completeOnboarding();
    // The application came to the front: permissions may have changed, and
    // an automatic update check runs.
    void applicationDidBecomeActive();

    AppSettings& settings() const { return m_settings; }
    PermissionsManager& permissions() const { return *m_permissions; }
    HistoryStoreInterface& history() const { return *m_environment.history; }
    UsageStatsStore& stats() const { return *m_stats; }
    NewsProvider& news() const { return *m_news; }
    UpdateChecker& update() const { return *m_update; }
    NavigationState& navigation() const { return *m_navigation; }
    TranscriptionServiceInterface& transcription() const { return *m_environment.transcription; }
    TextCleanupServiceInterface& cleanup() const { return *m_environment.cleanup; }
    TranslationServiceInterface& translation() const { return *m_environment.translation; }
    ModelDownloadManagerInterface& downloadManager() const {
        return *m_environment.downloadManager;
    }
    ModelDownloadManagerInterface& cleanupDownloadManager() const {
        return *m_environment.cleanupDownloadManager;
    }
    RecordingCoordinator& coordinator() const { return *m_coordinator; }
    AudioRecorderInterface& recorder() const { return *m_environment.recorder; }
    MediaTranscriptionService& mediaTranscription() const { return *m_mediaTranscription; }

private:
    void wireSubscriptions();
    // Starts an update check that respects the daily limit; its result shows
    // only through the checker's published update.
    void startAutomaticUpdateCheck();

    AppSettings& m_settings;
    AppEnvironment m_environment;
    std::unique_ptr<UsageStatsStore> m_stats;
    std::unique_ptr<NewsProvider> m_news;
    std::unique_ptr<UpdateChecker> m_update;
    std::unique_ptr<NavigationState> m_navigation;
    std::unique_ptr<PermissionsManager> m_permissions;
    std::unique_ptr<RecordingCoordinator> m_coordinator;
    std::unique_ptr<MediaTranscriptionService> m_mediaTranscription;
};
