#pragma once

#include "platform/PermissionProbe.h"

#include <QObject>

// Publishes the state of the three permissions dictation needs. Main thread
// only.
class PermissionsManager final : public QObject {
    Q_OBJECT

public:
    // Queries the probe at once.
    explicit PermissionsManager(const PermissionProbe& probe, QObject* parent = nullptr);

    PermissionStatus microphone() const { return m_microphone; }
    PermissionStatus accessibility() const { return m_accessibility; }
    PermissionStatus inputMonitoring() const { return m_inputMonitoring; }
    bool allGranted() const;

    // Queries microphone, accessibility and input monitoring, in that order,
    // and publishes each answer (also when unchanged).
    void refresh();

signals:
    void microphoneChanged(PermissionStatus status);
    void accessibilityChanged(PermissionStatus status);
    void inputMonitoringChanged(PermissionStatus status);

private:
    const PermissionProbe& m_probe;
    PermissionStatus m_microphone = PermissionStatus::notDetermined;
    PermissionStatus m_accessibility = PermissionStatus::notDetermined;
    PermissionStatus m_inputMonitoring = PermissionStatus::notDetermined;
};
