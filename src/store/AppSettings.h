#pragma once

#include "input/HotkeyConfig.h"
#include "models/ModelCatalog.h"
#include "store/AppAppearance.h"

#include <QObject>
#include <QString>

#include <optional>

class DefaultsStore;
class LoginItemService;

// Every user preference. Read from the defaults store once, when constructed;
// each assignment notifies subscribers and is written to the store at once, so
// there is no separate saving step. Main thread only.
class AppSettings final : public QObject {
    Q_OBJECT

public:
    // Defaults store keys, exactly as stored.
    struct Keys {
        static inline const QString onboardingCompleted = QStringLiteral("onboardingCompleted");
        static inline const QString selectedModel = QStringLiteral("selectedModel");
        static inline const QString language = QStringLiteral("language");
        static inline const QString hotkey = QStringLiteral("hotkeyConfig");
        static inline const QString launchAtLogin = QStringLiteral("launchAtLogin");
        static inline const QString showMenuBarIcon = QStringLiteral("showMenuBarIcon");
        static inline const QString inputDeviceUID = QStringLiteral("inputDeviceUID");
        static inline const QString stripPunctuation = QStringLiteral("stripPunctuation");
        static inline const QString appearance = QStringLiteral("appearance");
        static inline const QString suppressMediaURLNotice =
            QStringLiteral("suppressMediaURLNotice");
        static inline const QString cleanUpTranscripts = QStringLiteral("cleanUpTranscripts");
        static inline const QString cleanupValidationEnabled =
            QStringLiteral("cleanupValidationEnabled");
        static inline const QString cleanupAlwaysJudge = QStringLiteral("cleanupAlwaysJudge");
        static inline const QString autoTranslateEnabled = QStringLiteral("autoTranslateEnabled");
        static inline const QString translationTargetLanguage =
            QStringLiteral("translationTargetLanguage");
        static inline const QString translationHotkey = QStringLiteral("translationHotkeyConfig");
    };

    // Reads every key; writes nothing.
    explicit AppSettings(DefaultsStore& defaults, QObject* parent = nullptr);

    // The settings of the standard defaults store, created on first use.
    static AppSettings& shared();

    DefaultsStore& defaults() const { return m_defaults; }

    bool onboardingCompleted() const { return m_onboardingCompleted; }
    WhisperModel::Kind selectedModel() const { return m_selectedModel; }
    QString language() const { return m_language; }
    HotkeyConfig hotkey() const { return m_hotkey; }
    bool launchAtLogin() const { return m_launchAtLogin; }
    bool showMenuBarIcon() const { return m_showMenuBarIcon; }
    std::optional<QString> inputDeviceUID() const { return m_inputDeviceUID; }
    bool stripPunctuation() const { return m_stripPunctuation; }
    AppAppearance appearance() const { return m_appearance; }
    bool suppressMediaURLNotice() const { return m_suppressMediaURLNotice; }
    bool cleanUpTranscripts() const { return m_cleanUpTranscripts; }
    bool cleanupValidationEnabled() const { return m_cleanupValidationEnabled; }
    bool cleanupAlwaysJudge() const { return m_cleanupAlwaysJudge; }
    bool autoTranslateEnabled() const { return m_autoTranslateEnabled; }
    QString translationTargetLanguage() const { return m_translationTargetLanguage; }
    HotkeyConfig translationHotkey() const { return m_translationHotkey; }

    // Each setter stores, notifies, then writes, also when the value is
    // unchanged; subscribers that care about changes only filter repeats.
    void setOnboardingCompleted(bool value);
    void setSelectedModel(WhisperModel::Kind value);
    void setLanguage(const QString& value);
    void setHotkey(const HotkeyConfig& value);
    void setLaunchAtLogin(bool value);
    void setShowMenuBarIcon(bool value);
    // None removes the key: the system default microphone.
    void setInputDeviceUID(const std::optional<QString>& value);
    void setStripPunctuation(bool value);
    void setAppearance(AppAppearance value);
    void setSuppressMediaURLNotice(bool value);
    void setCleanUpTranscripts(bool value);
    void setCleanupValidationEnabled(bool value);
    void setCleanupAlwaysJudge(bool value);
    void setAutoTranslateEnabled(bool value);
    void setTranslationTargetLanguage(const QString& value);
    void setTranslationHotkey(const HotkeyConfig& value);

    // Brings the login-item registration into line with `enabled`; false when
    // the registration could not be changed (the choice is kept and applied
    // again at the next start).
    static bool applyLaunchAtLogin(LoginItemService& loginItems, bool enabled);

signals:
    void onboardingCompletedChanged(bool value);
    void selectedModelChanged(WhisperModel::Kind value);
    void languageChanged(const QString& value);
    void hotkeyChanged(const HotkeyConfig& value);
    void launchAtLoginChanged(bool value);
    void showMenuBarIconChanged(bool value);
    void inputDeviceUIDChanged(const std::optional<QString>& value);
    void stripPunctuationChanged(bool value);
    void appearanceChanged(AppAppearance value);
    void suppressMediaURLNoticeChanged(bool value);
    void cleanUpTranscriptsChanged(bool value);
    void cleanupValidationEnabledChanged(bool value);
    void cleanupAlwaysJudgeChanged(bool value);
    void autoTranslateEnabledChanged(bool value);
    void translationTargetLanguageChanged(const QString& value);
    void translationHotkeyChanged(const HotkeyConfig& value);

private:
    // A boolean whose default is true: only a stored boolean overrides it.
    bool readBool(const QString& key, bool fallback) const;
    HotkeyConfig readHotkey(const QString& key, const HotkeyConfig& fallback) const;
    void writeHotkey(const QString& key, const HotkeyConfig& value);

    DefaultsStore& m_defaults;
    bool m_onboardingCompleted = false;
    WhisperModel::Kind m_selectedModel = WhisperModel::Kind::turbo;
    QString m_language;
    HotkeyConfig m_hotkey;
    bool m_launchAtLogin = false;
    bool m_showMenuBarIcon = true;
    std::optional<QString> m_inputDeviceUID;
    bool m_stripPunctuation = false;
    AppAppearance m_appearance = AppAppearance::system;
    bool m_suppressMediaURLNotice = false;
    bool m_cleanUpTranscripts = false;
    bool m_cleanupValidationEnabled = true;
    bool m_cleanupAlwaysJudge = false;
    bool m_autoTranslateEnabled = false;
    QString m_translationTargetLanguage;
    HotkeyConfig m_translationHotkey;
};
