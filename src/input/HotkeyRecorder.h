#pragma once

#include "input/HotkeyConfig.h"
#include "platform/KeyEvent.h"

#include <QObject>
#include <QString>

#include <optional>

class KeyNameProvider;

// The settings screen's hotkey field: while recording, the next acceptable
// key press becomes the new hotkey. Also names keys and warns about hotkeys
// the desktop already uses.
class HotkeyRecorder final : public QObject {
    Q_OBJECT

public:
    static inline const QString promptText = QStringLiteral("Press a key\u2026");
    static inline const QString sameAsRecordingWarning =
        QStringLiteral("This is the same as your recording shortcut. Pick a different key.");

    explicit HotkeyRecorder(const KeyNameProvider& keyNames, QObject* parent = nullptr);

    bool isRecording() const { return m_isRecording; }
    // Clicking the field: starts recording, or stops it without a change.
    void toggleRecording();
    void cancel();

    // Feeds one event while recording. Returns true when the event was taken
    // (every event is swallowed while recording); emits `recorded` and stops
    // once an acceptable key arrives.
    bool handleEvent(const KeyEvent& event);

    // The configuration a key event would record, or none when the event is
    // not acceptable (an unnamed modifier key, a key release).
    std::optional<HotkeyConfig> configFor(const KeyEvent& event) const;

    // The name of an ordinary key: a fixed name, the layout's text in upper
    // case, or "Key " and the code.
    QString keyName(std::uint16_t keyCode) const;

    // A warning for hotkeys that collide with common desktop shortcuts.
    static std::optional<QString> conflictWarning(std::uint16_t keyCode,
                                                  std::uint64_t modifierFlags, bool isModifierOnly);
    // The warning under the translation hotkey field: the same-key warning
    // when it equals the recording hotkey, else its conflict warning.
    static std::optional<QString> translationHotkeyWarning(const HotkeyConfig& translation,
                                                           const HotkeyConfig& recording);

signals:
    void recordingChanged(bool isRecording);
    void recorded(const HotkeyConfig& config);

private:
    void setRecording(bool recording);

    const KeyNameProvider& m_keyNames;
    bool m_isRecording = false;
};
