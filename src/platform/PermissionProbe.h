#pragma once

enum class PermissionStatus { granted, denied, notDetermined };

// Answers whether the desktop lets the application do the three things
// dictation needs.
class PermissionProbe {
public:
    virtual ~PermissionProbe() = default;

    // Recording from an input device.
    virtual PermissionStatus microphone() const = 0;
    // Posting the synthetic paste keystroke.
    virtual PermissionStatus accessibility() const = 0;
    // Observing global key events for the hotkey.
    virtual PermissionStatus inputMonitoring() const = 0;
};
