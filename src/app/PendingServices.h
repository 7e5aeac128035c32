#pragma once

// Stand-ins for the services whose desktop implementations are not built yet.
// Each behaves honestly: it reports that the capability is missing instead of
// pretending to work, so the rest of the application runs and can be tested.

#include "app/IndicatorPanel.h"
#include "app/TextInserter.h"
#include "models/ModelDownloadManagerInterface.h"
#include "platform/KeyEventSource.h"
#include "platform/PermissionProbe.h"

namespace PendingServices {

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
