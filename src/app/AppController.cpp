#include "app/AppController.h"

#include "app/PendingServices.h"
#include "audio/AudioRecorder.h"
#include "common/Observe.h"
#include "llm/LlamaTranslationService.h"
#include "llm/TextCleanupService.h"
#include "llm/TranslationService.h"
#include "platform/LoginItemService.h"
#include "platform/linux/QtAudioInputBackend.h"
#include "platform/linux/XdgAutostartLoginItem.h"
#include "speech/MediaTranscriptionService.h"
#include "speech/TranscriptionService.h"
#include "store/AppSettings.h"
#include "store/DefaultsStore.h"
#include "store/HistoryStore.h"
#include "store/UsageStatsStore.h"

#include <optional>

AppEnvironment AppEnvironment::desktop() {
    // The translation engine reuses the cleanup service's loaded model.
    auto cleanup = std::make_unique<TextCleanupService>(AppSettings::shared());
    auto translation =
        std::make_unique<TranslationService>(std::make_unique<LlamaTranslationService>(*cleanup));
    return AppEnvironment{
        .clock = Clock::system(),
        .loginItems = std::make_unique<XdgAutostartLoginItem>(),
        .keyEvents = std::make_unique<PendingServices::KeyEventSource>(),
        .permissionProbe = std::make_unique<PendingServices::PermissionProbe>(),
        .textInserter = std::make_unique<PendingServices::TextInserter>(),
        .indicatorPanelFactory = [] { return std::make_unique<PendingServices::IndicatorPanel>(); },
        .applyAppearance = [](AppAppearance) {},
        .recorder = std::make_unique<AudioRecorder>(std::make_unique<QtAudioInputBackend>(),
                                                    Clock::system()),
        .transcription = std::make_unique<TranscriptionService>(),
        .cleanup = std::move(cleanup),
        .translation = std::move(translation),
        .history = std::make_unique<HistoryStore>(),
        .downloadManager = std::make_unique<PendingServices::ModelDownloadManager>(),
        .cleanupDownloadManager = std::make_unique<PendingServices::ModelDownloadManager>(),
        .mediaLinks = {},
    };
}

AppController::AppController(AppSettings& settings, DefaultsStore& defaults,
                             AppEnvironment environment, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_environment(std::move(environment)) {
    m_stats = std::make_unique<UsageStatsStore>(defaults);
    const AppEnvironment::Feeds& feeds = m_environment.feeds;
    m_news = std::make_unique<NewsProvider>(
        defaults,
        feeds.newsFeedURL.isEmpty() ? std::nullopt : std::optional<QUrl>(feeds.newsFeedURL),
        feeds.extraTrustedCertificates);
    m_update =
        std::make_unique<UpdateChecker>(defaults, m_environment.clock, feeds.updateFeedURL,
                                        feeds.currentVersion, feeds.extraTrustedCertificates);
    m_navigation = std::make_unique<NavigationState>();
    m_permissions = std::make_unique<PermissionsManager>(*m_environment.permissionProbe);
    m_coordinator = std::make_unique<RecordingCoordinator>(RecordingCoordinator::Services{
        .settings = m_settings,
        .recorder = *m_environment.recorder,
        .transcription = *m_environment.transcription,
        .cleanup = *m_environment.cleanup,
        .translation = *m_environment.translation,
        .history = *m_environment.history,
        .stats = *m_stats,
        .downloadManager = *m_environment.downloadManager,
        .textInserter = *m_environment.textInserter,
        .keyEvents = *m_environment.keyEvents,
        .indicatorPanelFactory = m_environment.indicatorPanelFactory,
        .clock = m_environment.clock,
    });
    m_environment.recorder->setDelegate(m_coordinator.get());
    m_mediaTranscription = std::make_unique<MediaTranscriptionService>(
        *m_environment.transcription, *m_environment.history, m_settings,
        std::move(m_environment.mediaLinks));
    wireSubscriptions();
}

AppController::~AppController() {
    m_mediaTranscription.reset();
    m_environment.recorder->setDelegate(nullptr);
}

AppController& AppController::shared() {
    static AppController controller(AppSettings::shared(), DefaultsStore::standard(),
                                    AppEnvironment::desktop());
    return controller;
}

void AppController::wireSubscriptions() {
    // Applied at every start too, so a registration removed outside the
    // application is restored while the setting is on.
    auto lastLaunchAtLogin = std::make_shared<std::optional<bool>>();
    observe(&m_settings, &AppSettings::launchAtLogin, &AppSettings::launchAtLoginChanged, this,
            [this, lastLaunchAtLogin](bool enabled) {
                if (*lastLaunchAtLogin == enabled) {
                    return;
                }
                *lastLaunchAtLogin = enabled;
                AppSettings::applyLaunchAtLogin(*m_environment.loginItems, enabled);
            });

    auto lastAppearance = std::make_shared<std::optional<AppAppearance>>();
    observe(&m_settings, &AppSettings::appearance, &AppSettings::appearanceChanged, this,
            [this, lastAppearance](AppAppearance appearance) {
                if (*lastAppearance == appearance) {
                    return;
                }
                *lastAppearance = appearance;
                m_environment.applyAppearance(appearance);
            });

    // Once listening to keys becomes possible, the event source is opened
    // again so the hotkey starts working without a restart.
    auto lastCanListen = std::make_shared<std::optional<bool>>();
    auto onPermissions = [this, lastCanListen](PermissionStatus) {
        const bool canListen = m_permissions->inputMonitoring() == PermissionStatus::granted ||
                               m_permissions->accessibility() == PermissionStatus::granted;
        if (*lastCanListen == canListen) {
            return;
        }
        *lastCanListen = canListen;
        if (canListen && m_settings.onboardingCompleted()) {
            m_coordinator->hotkeyManager().stop();
            m_coordinator->hotkeyManager().start();
        }
    };
    onPermissions(PermissionStatus::notDetermined);
    connect(m_permissions.get(), &PermissionsManager::inputMonitoringChanged, this, onPermissions);
    connect(m_permissions.get(), &PermissionsManager::accessibilityChanged, this, onPermissions);
}

void AppController::start() {
    if (m_settings.onboardingCompleted()) {
        m_coordinator->hotkeyManager().start();
        loadSelectedSpeechModel();
        loadCleanupModelIfEnabled();
    }
    startAutomaticUpdateCheck();
}

void AppController::startAutomaticUpdateCheck() {
    // The task runs on by itself once dropped; the checker guards against
    // being destroyed while it waits.
    [[maybe_unused]] QCoro::Task<UpdateCheckOutcome> task = m_update->check(false);
}

void AppController::loadSelectedSpeechModel() {
    const WhisperModel::Kind kind = m_settings.selectedModel();
    if (WhisperModel::model(kind).isDownloaded()) {
        m_environment.transcription->ensureLoaded(kind);
    }
}

void AppController::loadCleanupModelIfEnabled() {
    if (m_settings.cleanUpTranscripts() && CleanupModel::defaultModel().isDownloaded()) {
        m_environment.cleanup->ensureLoaded();
    }
}

void AppController::completeOnboarding() {
    m_settings.setOnboardingCompleted(true);
    m_coordinator->hotkeyManager().start();
    loadSelectedSpeechModel();
    loadCleanupModelIfEnabled();
}

void AppController::applicationDidBecomeActive() {
    m_permissions->refresh();
    startAutomaticUpdateCheck();
}
