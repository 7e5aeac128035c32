#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// Names keys after the current keyboard layout.
class KeyNameProvider {
public:
    virtual ~KeyNameProvider() = default;

    // The text the key produces with no modifiers held, or none when the
    // layout gives nothing for it.
    virtual std::optional<QString> layoutText(std::uint16_t keyCode) const = 0;
};
