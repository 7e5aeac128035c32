#pragma once

// Stand-ins for the services whose desktop implementations are not built yet.
// Each behaves honestly: it reports that the capability is missing instead of
// pretending to work, so the rest of the application runs and can be tested.

#include "app/IndicatorPanel.h"
#include "app/TextInserter.h"
#include "audio/AudioRecorderInterface.h"
#include "llm/TextCleanupServiceInterface.h"
#include "llm/TranslationServiceInterface.h"
#include "models/ModelDownloadManagerInterface.h"
#include "platform/KeyEventSource.h"
#include "platform/PermissionProbe.h"

namespace PendingServices {

class AudioRecorder final : public AudioRecorderInterface {
public:
    void start(const std::optional<QString>& deviceUID) override;
    SampleBuffer stop() override { return {}; }
    void setDelegate(AudioRecorderDelegate*) override {}
};

class TextCleanupService final : public TextCleanupServiceInterface {
public:
    QCoro::Task<> ensureLoaded() override;
    QCoro::Task<QString> clean(QString text) override;
};

class TranslationService final : public TranslationServiceInterface {
public:
    QCoro::Task<QString> translate(QString text, QString target, QString source) override;
};

class ModelDownloadManager final : public ModelDownloadManagerInterface {
public:
    void start(const DownloadableAsset& asset) override;
};

class TextInserter final : public ::TextInserter {
public:
    void insertText(const QString& text) override;
};

class KeyEventSource final : public ::KeyEventSource {
public:
    bool start(Handler) override { return false; }
    void stop() override {}
    bool isRunning() const override { return false; }
    void reenable() override {}
};

class IndicatorPanel final : public ::IndicatorPanel {
public:
    void setState(const IndicatorState&) override {}
    void showOnTop() override {}
    void hide() override {}
};

class PermissionProbe final : public ::PermissionProbe {
public:
    PermissionStatus microphone() const override { return PermissionStatus::notDetermined; }
    PermissionStatus accessibility() const override { return PermissionStatus::notDetermined; }
    PermissionStatus inputMonitoring() const override { return PermissionStatus::notDetermined; }
};

} // namespace PendingServices
