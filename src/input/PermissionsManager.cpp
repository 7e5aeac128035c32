#include "input/PermissionsManager.h"

PermissionsManager::PermissionsManager(const PermissionProbe& probe, QObject* parent)
    : QObject(parent)
    , m_probe(probe) {
    refresh();
}

bool PermissionsManager::allGranted() const {
    return m_microphone == PermissionStatus::granted &&
           m_accessibility == PermissionStatus::granted &&
           m_inputMonitoring == PermissionStatus::granted;
}

void PermissionsManager::refresh() {
    m_microphone = m_probe.microphone();
    emit microphoneChanged(m_microphone);
    m_accessibility = m_probe.accessibility();
    emit accessibilityChanged(m_accessibility);
    m_inputMonitoring = m_probe.inputMonitoring();
    emit inputMonitoringChanged(m_inputMonitoring);
}
