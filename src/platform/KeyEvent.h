#pragma once

#include <cstdint>

// One global keyboard event, in the key codes and modifier flags the stored
// hotkeys use (see input/HotkeyConfig.h). Platform sources translate their
// own codes into these.
struct KeyEvent {
    enum class Type {
        keyDown,
        keyUp,
        // A modifier key went down or up; `flags` holds the modifiers now held.
        flagsChanged,
        // The source stopped delivering (for example after a slow handler) and
        // must be re-enabled.
        disabledByTimeout,
        disabledByUserInput,
    };

    Type type = Type::keyDown;
    std::uint16_t keyCode = 0;
    bool isAutorepeat = false;
    std::uint64_t flags = 0;
};
