#include "store/AppSettings.h"

#include "platform/LoginItemService.h"
#include "store/DefaultsStore.h"

namespace {

const QString defaultLanguage = QStringLiteral("auto");
const QString defaultTranslationTarget = QStringLiteral("en");

} // namespace

AppSettings::AppSettings(DefaultsStore& defaults, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults) {
    m_onboardingCompleted = m_defaults.boolValue(Keys::onboardingCompleted);
    m_selectedModel = whisperModelKind(m_defaults.stringValue(Keys::selectedModel).value_or(""))
                          .value_or(WhisperModel::Kind::turbo);
    m_language = m_defaults.stringValue(Keys::language).value_or(defaultLanguage);
    m_hotkey = readHotkey(Keys::hotkey, HotkeyConfig::defaultRecording());
    m_launchAtLogin = m_defaults.boolValue(Keys::launchAtLogin);
    m_showMenuBarIcon = readBool(Keys::showMenuBarIcon, true);
    m_inputDeviceUID = m_defaults.stringValue(Keys::inputDeviceUID);
    m_stripPunctuation = m_defaults.boolValue(Keys::stripPunctuation);
    m_appearance = Appearance::fromRawValue(m_defaults.stringValue(Keys::appearance).value_or(""));
    m_suppressMediaURLNotice = m_defaults.boolValue(Keys::suppressMediaURLNotice);
    m_cleanUpTranscripts = m_defaults.boolValue(Keys::cleanUpTranscripts);
    m_cleanupValidationEnabled = readBool(Keys::cleanupValidationEnabled, true);
    m_cleanupAlwaysJudge = readBool(Keys::cleanupAlwaysJudge, false);
    m_autoTranslateEnabled = m_defaults.boolValue(Keys::autoTranslateEnabled);
    m_translationTargetLanguage =
        m_defaults.stringValue(Keys::translationTargetLanguage).value_or(defaultTranslationTarget);
    m_translationHotkey = readHotkey(Keys::translationHotkey, HotkeyConfig::defaultTranslation());
}

AppSettings& AppSettings::shared() {
    static AppSettings settings(DefaultsStore::standard());
    return settings;
}

bool AppSettings::readBool(const QString& key, bool fallback) const {
    const auto value = m_defaults.object(key);
    if (value && std::holds_alternative<bool>(*value)) {
        return std::get<bool>(*value);
    }
    return fallback;
}

HotkeyConfig AppSettings::readHotkey(const QString& key, const HotkeyConfig& fallback) const {
    // Undecodable data is left in the store; the next assignment replaces it.
    const auto data = m_defaults.dataValue(key);
    if (!data) {
        return fallback;
    }
    return HotkeyConfig::fromJson(*data).value_or(fallback);
}

void AppSettings::writeHotkey(const QString& key, const HotkeyConfig& value) {
    m_defaults.setData(key, value.toJson());
}

void AppSettings::setOnboardingCompleted(bool value) {
    m_onboardingCompleted = value;
    emit onboardingCompletedChanged(value);
    m_defaults.setBool(Keys::onboardingCompleted, value);
}

void AppSettings::setSelectedModel(WhisperModel::Kind value) {
    m_selectedModel = value;
    emit selectedModelChanged(value);
    m_defaults.setString(Keys::selectedModel, rawValue(value));
}

void AppSettings::setLanguage(const QString& value) {
    m_language = value;
    emit languageChanged(value);
    m_defaults.setString(Keys::language, value);
}

void AppSettings::setHotkey(const HotkeyConfig& value) {
    m_hotkey = value;
    emit hotkeyChanged(value);
    writeHotkey(Keys::hotkey, value);
}

void AppSettings::setLaunchAtLogin(bool value) {
    m_launchAtLogin = value;
    emit launchAtLoginChanged(value);
    m_defaults.setBool(Keys::launchAtLogin, value);
}

void AppSettings::setShowMenuBarIcon(bool value) {
    m_showMenuBarIcon = value;
    emit showMenuBarIconChanged(value);
    m_defaults.setBool(Keys::showMenuBarIcon, value);
}

void AppSettings::setInputDeviceUID(const std::optional<QString>& value) {
    m_inputDeviceUID = value;
    emit inputDeviceUIDChanged(value);
    if (value) {
        m_defaults.setString(Keys::inputDeviceUID, *value);
    } else {
        m_defaults.remove(Keys::inputDeviceUID);
    }
}

void AppSettings::setStripPunctuation(bool value) {
    m_stripPunctuation = value;
    emit stripPunctuationChanged(value);
    m_defaults.setBool(Keys::stripPunctuation, value);
}

void AppSettings::setAppearance(AppAppearance value) {
    m_appearance = value;
    emit appearanceChanged(value);
    m_defaults.setString(Keys::appearance, Appearance::rawValue(value));
}

void AppSettings::setSuppressMediaURLNotice(bool value) {
    m_suppressMediaURLNotice = value;
    emit suppressMediaURLNoticeChanged(value);
    m_defaults.setBool(Keys::suppressMediaURLNotice, value);
}

void AppSettings::setCleanUpTranscripts(bool value) {
    m_cleanUpTranscripts = value;
    emit cleanUpTranscriptsChanged(value);
    m_defaults.setBool(Keys::cleanUpTranscripts, value);
}

void AppSettings::setCleanupValidationEnabled(bool value) {
    m_cleanupValidationEnabled = value;
    emit cleanupValidationEnabledChanged(value);
    m_defaults.setBool(Keys::cleanupValidationEnabled, value);
}

void AppSettings::setCleanupAlwaysJudge(bool value) {
    m_cleanupAlwaysJudge = value;
    emit cleanupAlwaysJudgeChanged(value);
    m_defaults.setBool(Keys::cleanupAlwaysJudge, value);
}

void AppSettings::setAutoTranslateEnabled(bool value) {
    m_autoTranslateEnabled = value;
    emit autoTranslateEnabledChanged(value);
    m_defaults.setBool(Keys::autoTranslateEnabled, value);
}

void AppSettings::setTranslationTargetLanguage(const QString& value) {
    m_translationTargetLanguage = value;
    emit translationTargetLanguageChanged(value);
    m_defaults.setString(Keys::translationTargetLanguage, value);
}

void AppSettings::setTranslationHotkey(const HotkeyConfig& value) {
    m_translationHotkey = value;
    emit translationHotkeyChanged(value);
    writeHotkey(Keys::translationHotkey, value);
}

bool AppSettings::applyLaunchAtLogin(LoginItemService& loginItems, bool enabled) {
    const bool registered = loginItems.status() == LoginItemService::Status::enabled;
    if (enabled == registered) {
        return true;
    }
    return enabled ? loginItems.registerItem() : loginItems.unregisterItem();
}
