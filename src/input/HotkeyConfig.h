#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

// Modifier flag bits, as they are stored in a HotkeyConfig.
namespace ModifierFlag {
constexpr std::uint64_t shift = 0x20000;
constexpr std::uint64_t control = 0x40000;
constexpr std::uint64_t option = 0x80000;
constexpr std::uint64_t command = 0x100000;
constexpr std::uint64_t function = 0x800000;
// The modifiers that must match exactly for an ordinary key; Caps Lock, Fn
// and every other bit are ignored.
constexpr std::uint64_t matchMask = shift | control | option | command;
} // namespace ModifierFlag

// Virtual key codes used by the stored hotkeys (the ANSI layout's codes).
namespace KeyCode {
constexpr std::uint16_t a = 0;
constexpr std::uint16_t t = 17;
constexpr std::uint16_t v = 9;
constexpr std::uint16_t rightCommand = 54;
constexpr std::uint16_t leftCommand = 55;
constexpr std::uint16_t leftShift = 56;
constexpr std::uint16_t capsLock = 57;
constexpr std::uint16_t leftOption = 58;
constexpr std::uint16_t leftControl = 59;
constexpr std::uint16_t rightShift = 60;
constexpr std::uint16_t rightOption = 61;
constexpr std::uint16_t rightControl = 62;
constexpr std::uint16_t function = 63;
} // namespace KeyCode

// A configured hotkey: an ordinary key with an exact set of modifiers, or a
// single modifier key on its own.
struct HotkeyConfig {
    std::uint16_t keyCode = 0;
    std::uint64_t modifierFlagsRawValue = 0;
    bool isModifierOnly = false;
    QString displayName;

    bool operator==(const HotkeyConfig&) const = default;

    // The stored JSON object with the keys "keyCode", "modifierFlagsRawValue",
    // "isModifierOnly" and "displayName".
    QByteArray toJson() const;
    // None when the bytes are not one JSON object with all four keys of the
    // right types and ranges.
    static std::optional<HotkeyConfig> fromJson(const QByteArray& json);

    // Fn on its own.
    static HotkeyConfig defaultRecording();
    // Control + Option + T.
    static HotkeyConfig defaultTranslation();
};
