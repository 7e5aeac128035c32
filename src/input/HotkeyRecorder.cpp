#include "input/HotkeyRecorder.h"

#include "platform/KeyNameProvider.h"

#include <array>
#include <utility>

namespace {

constexpr std::uint16_t keyF11 = 103;
constexpr std::uint16_t keyF12 = 111;
constexpr std::uint16_t keyTab = 48;
constexpr std::uint16_t keySpace = 49;

const QString fnWarning = QStringLiteral("Many keyboards never report the Fn key to the system, so "
                                         "it may not work. Consider another key.");
const QString f11Warning = QStringLiteral("F11 toggles full screen in most applications.");
const QString f12Warning =
    QStringLiteral("F12 opens drop-down terminals and developer tools on many desktops.");
const QString commandTabWarning =
    QStringLiteral("\u2318Tab switches applications on many Linux desktops.");
const QString commandSpaceWarning =
    QStringLiteral("\u2318Space switches keyboard layouts on many Linux desktops and won't be "
                   "reliable for dictation.");
const QString controlSpaceWarning = QStringLiteral(
    "\u2303Space switches input methods on many Linux desktops. Consider another key.");
const QString controlOptionTWarning =
    QStringLiteral("\u2303\u2325T opens a terminal on many Linux desktops.");

// Modifier keys that can be a hotkey on their own, with their names.
std::optional<QString> modifierOnlyName(std::uint16_t keyCode) {
    switch (keyCode) {
    case KeyCode::rightCommand:
        return QStringLiteral("Right Command");
    case KeyCode::leftOption:
        return QStringLiteral("Left Option");
    case KeyCode::rightOption:
        return QStringLiteral("Right Option");
    case KeyCode::rightControl:
        return QStringLiteral("Right Control");
    case KeyCode::function:
        return QStringLiteral("Fn");
    default:
        return std::nullopt;
    }
}

std::optional<QString> fixedKeyName(std::uint16_t keyCode) {
    static const std::array<std::pair<std::uint16_t, const char*>, 16> names{{
        {49, "Space"},
        {36, "Return"},
        {48, "Tab"},
        {53, "Esc"},
        {122, "F1"},
        {120, "F2"},
        {99, "F3"},
        {118, "F4"},
        {96, "F5"},
        {97, "F6"},
        {98, "F7"},
        {100, "F8"},
        {101, "F9"},
        {109, "F10"},
        {103, "F11"},
        {111, "F12"},
    }};
    for (const auto& [code, name] : names) {
        if (code == keyCode) {
            return QString::fromLatin1(name);
        }
    }
    return std::nullopt;
}

} // namespace

HotkeyRecorder::HotkeyRecorder(const KeyNameProvider& keyNames, QObject* parent)
    : QObject(parent)
    , m_keyNames(keyNames) {}

void HotkeyRecorder::setRecording(bool recording) {
    if (m_isRecording != recording) {
        m_isRecording = recording;
        emit recordingChanged(recording);
    }
}

void HotkeyRecorder::toggleRecording() { setRecording(!m_isRecording); }

void HotkeyRecorder::cancel() { setRecording(false); }

bool HotkeyRecorder::handleEvent(const KeyEvent& event) {
    if (!m_isRecording) {
        return false;
    }
    if (const auto config = configFor(event)) {
        setRecording(false);
        emit recorded(*config);
    }
    return true;
}

std::optional<HotkeyConfig> HotkeyRecorder::configFor(const KeyEvent& event) const {
    if (event.type == KeyEvent::Type::flagsChanged) {
        const auto name = modifierOnlyName(event.keyCode);
        if (!name) {
            return std::nullopt;
        }
        return HotkeyConfig{event.keyCode, 0, true, *name};
    }
    if (event.type != KeyEvent::Type::keyDown) {
        return std::nullopt;
    }
    const std::uint64_t flags = event.flags & ModifierFlag::matchMask;
    QString name;
    if (flags & ModifierFlag::control) {
        name += QStringLiteral("\u2303");
    }
    if (flags & ModifierFlag::option) {
        name += QStringLiteral("\u2325");
    }
    if (flags & ModifierFlag::shift) {
        name += QStringLiteral("\u21E7");
    }
    if (flags & ModifierFlag::command) {
        name += QStringLiteral("\u2318");
    }
    return HotkeyConfig{event.keyCode, flags, false, name + keyName(event.keyCode)};
}

QString HotkeyRecorder::keyName(std::uint16_t keyCode) const {
    if (const auto fixed = fixedKeyName(keyCode)) {
        return *fixed;
    }
    const auto text = m_keyNames.layoutText(keyCode);
    if (text && !text->isEmpty()) {
        return text->toUpper();
    }
    return QStringLiteral("Key %1").arg(keyCode);
}

std::optional<QString> HotkeyRecorder::conflictWarning(std::uint16_t keyCode,
                                                       std::uint64_t modifierFlags,
                                                       bool isModifierOnly) {
    if (isModifierOnly) {
        return keyCode == KeyCode::function ? std::optional(fnWarning) : std::nullopt;
    }
    const bool command = modifierFlags & ModifierFlag::command;
    const bool control = modifierFlags & ModifierFlag::control;
    switch (keyCode) {
    case keyF11:
        return f11Warning;
    case keyF12:
        return f12Warning;
    case keyTab:
        return command ? std::optional(commandTabWarning) : std::nullopt;
    case keySpace:
        if (command) {
            return commandSpaceWarning;
        }
        return control ? std::optional(controlSpaceWarning) : std::nullopt;
    case KeyCode::t:
        if ((modifierFlags & ModifierFlag::matchMask) ==
            (ModifierFlag::control | ModifierFlag::option)) {
            return controlOptionTWarning;
        }
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

std::optional<QString> HotkeyRecorder::translationHotkeyWarning(const HotkeyConfig& translation,
                                                                const HotkeyConfig& recording) {
    if (translation == recording) {
        return sameAsRecordingWarning;
    }
    return conflictWarning(translation.keyCode, translation.modifierFlagsRawValue,
                           translation.isModifierOnly);
}
