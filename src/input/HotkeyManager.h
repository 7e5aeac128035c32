#pragma once

#include "input/HotkeyConfig.h"
#include "platform/KeyEventSource.h"

#include <QObject>

#include <optional>

class HotkeyManagerDelegate {
public:
    virtual ~HotkeyManagerDelegate() = default;
    virtual void hotkeyPressed() = 0;
    virtual void hotkeyReleased() = 0;
    virtual void translationHotkeyPressed() = 0;
};

// Watches every key event of the session and reports when the recording
// hotkey goes down and up and when the translation hotkey goes down. Main
// thread only.
class HotkeyManager final : public QObject {
    Q_OBJECT

public:
    HotkeyManager(HotkeyConfig config, std::optional<HotkeyConfig> secondaryConfig,
                  KeyEventSource& source, QObject* parent = nullptr);
    ~HotkeyManager() override;

    // Not owned; notifications are dropped while none is set.
    void setDelegate(HotkeyManagerDelegate* delegate) { m_delegate = delegate; }

    // True when listening (already, or now); false when no event source
    // could be opened.
    bool start();
    // Stops listening and forgets a held recording hotkey.
    void stop();
    bool isRunning() const { return m_source.isRunning(); }

    const HotkeyConfig& config() const { return m_config; }
    void setConfig(const HotkeyConfig& config) { m_config = config; }
    const std::optional<HotkeyConfig>& secondaryConfig() const { return m_secondaryConfig; }
    void setSecondaryConfig(const std::optional<HotkeyConfig>& config) {
        m_secondaryConfig = config;
    }

    bool isKeyCurrentlyDown() const { return m_isKeyCurrentlyDown; }
    void setKeyCurrentlyDown(bool down) { m_isKeyCurrentlyDown = down; }
    bool isSecondaryKeyDown() const { return m_isSecondaryKeyDown; }
    void setSecondaryKeyDown(bool down) { m_isSecondaryKeyDown = down; }

    // The flag that tells whether a modifier key is held; none for keys that
    // are not modifiers (and for Caps Lock, which has no held state).
    static std::optional<std::uint64_t> flagForModifierKey(std::uint16_t keyCode);

private:
    void handleEvent(const KeyEvent& event);
    void handlePrimary(const KeyEvent& event);
    void handleSecondary(const KeyEvent& event);

    KeyEventSource& m_source;
    HotkeyManagerDelegate* m_delegate = nullptr;
    HotkeyConfig m_config;
    std::optional<HotkeyConfig> m_secondaryConfig;
    bool m_isKeyCurrentlyDown = false;
    bool m_isSecondaryKeyDown = false;
};
