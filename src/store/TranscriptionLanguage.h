#pragma once

#include <QList>
#include <QString>

// A dictation language the application offers: a speech-model language code
// ("auto" for detection) and its English name.
struct TranscriptionLanguage {
    QString code;
    QString name;

    bool operator==(const TranscriptionLanguage&) const = default;

    // The thirteen offered languages, "auto" first.
    static const QList<TranscriptionLanguage>& all();
    // The languages auto-translation can write in: all() without "auto".
    static const QList<TranscriptionLanguage>& translationTargets();
    // The name of the language with exactly this code; an unknown code is
    // shown in upper case.
    static QString displayName(const QString& code);
};

size_t qHash(const TranscriptionLanguage& language, size_t seed = 0) noexcept;
