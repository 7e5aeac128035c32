#include "input/HotkeyManager.h"

namespace {

// Whether an ordinary key's down event carries exactly the configured
// modifiers among Shift, Control, Option and Command.
bool modifiersMatch(const KeyEvent& event, const HotkeyConfig& config) {
    return ((event.flags ^ config.modifierFlagsRawValue) & ModifierFlag::matchMask) == 0;
}

// Down state of a modifier-only hotkey from a flags-changed event, or none
// when the event does not concern it. Left and right keys share one flag, so
// the state follows the flag, not the single key.
std::optional<bool> modifierDownState(const KeyEvent& event, const HotkeyConfig& config) {
    if (event.type != KeyEvent::Type::flagsChanged || event.keyCode != config.keyCode) {
        return std::nullopt;
    }
    const auto flag = HotkeyManager::flagForModifierKey(config.keyCode);
    if (!flag) {
        return std::nullopt;
    }
    return (event.flags & *flag) != 0;
}

bool isAcceptedPress(const KeyEvent& event, const HotkeyConfig& config, bool alreadyDown) {
    return event.type == KeyEvent::Type::keyDown && !event.isAutorepeat &&
           modifiersMatch(event, config) && !alreadyDown;
}

} // namespace

HotkeyManager::HotkeyManager(HotkeyConfig config, std::optional<HotkeyConfig> secondaryConfig,
                             KeyEventSource& source, QObject* parent)
    : QObject(parent)
    , m_source(source)
    , m_config(std::move(config))
    , m_secondaryConfig(std::move(secondaryConfig)) {}

HotkeyManager::~HotkeyManager() { stop(); }

std::optional<std::uint64_t> HotkeyManager::flagForModifierKey(std::uint16_t keyCode) {
    switch (keyCode) {
    case KeyCode::rightCommand:
    case KeyCode::leftCommand:
        return ModifierFlag::command;
    case KeyCode::leftShift:
    case KeyCode::rightShift:
        return ModifierFlag::shift;
    case KeyCode::leftOption:
    case KeyCode::rightOption:
        return ModifierFlag::option;
    case KeyCode::leftControl:
    case KeyCode::rightControl:
        return ModifierFlag::control;
    case KeyCode::function:
        return ModifierFlag::function;
    default:
        return std::nullopt;
    }
}

bool HotkeyManager::start() {
    if (m_source.isRunning()) {
        return true;
    }
    return m_source.start([this](const KeyEvent& event) { handleEvent(event); });
}

void HotkeyManager::stop() {
    m_source.stop();
    m_isKeyCurrentlyDown = false;
}

void HotkeyManager::handleEvent(const KeyEvent& event) {
    if (event.type == KeyEvent::Type::disabledByTimeout ||
        event.type == KeyEvent::Type::disabledByUserInput) {
        m_source.reenable();
        return;
    }
    handlePrimary(event);
    handleSecondary(event);
}

void HotkeyManager::handlePrimary(const KeyEvent& event) {
    if (m_config.isModifierOnly) {
        const auto down = modifierDownState(event, m_config);
        if (!down || *down == m_isKeyCurrentlyDown) {
            return;
        }
        m_isKeyCurrentlyDown = *down;
        if (m_delegate) {
            *down ? m_delegate->hotkeyPressed() : m_delegate->hotkeyReleased();
        }
        return;
    }
    if (event.keyCode != m_config.keyCode) {
        return;
    }
    // A release counts whatever modifiers are held by then.
    if (event.type == KeyEvent::Type::keyUp) {
        if (m_isKeyCurrentlyDown) {
            m_isKeyCurrentlyDown = false;
            if (m_delegate) {
                m_delegate->hotkeyReleased();
            }
        }
        return;
    }
    if (isAcceptedPress(event, m_config, m_isKeyCurrentlyDown)) {
        m_isKeyCurrentlyDown = true;
        if (m_delegate) {
            m_delegate->hotkeyPressed();
        }
    }
}

void HotkeyManager::handleSecondary(const KeyEvent& event) {
    if (!m_secondaryConfig) {
        return;
    }
    const HotkeyConfig& config = *m_secondaryConfig;
    if (config.isModifierOnly) {
        const auto down = modifierDownState(event, config);
        if (!down || *down == m_isSecondaryKeyDown) {
            return;
        }
        m_isSecondaryKeyDown = *down;
        if (*down && m_delegate) {
            m_delegate->translationHotkeyPressed();
        }
        return;
    }
    if (event.keyCode != config.keyCode) {
        return;
    }
    if (event.type == KeyEvent::Type::keyUp) {
        m_isSecondaryKeyDown = false;
        return;
    }
    if (isAcceptedPress(event, config, m_isSecondaryKeyDown)) {
        m_isSecondaryKeyDown = true;
        if (m_delegate) {
            m_delegate->translationHotkeyPressed();
        }
    }
}
