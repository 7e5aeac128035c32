#include "store/TranscriptionLanguage.h"

#include <QHash>

const QList<TranscriptionLanguage>& TranscriptionLanguage::all() {
    static const QList<TranscriptionLanguage> languages{
        {QStringLiteral("auto"), QStringLiteral("Auto-detect")},
        {QStringLiteral("en"), QStringLiteral("English")},
        {QStringLiteral("es"), QStringLiteral("Spanish")},
        {QStringLiteral("fr"), QStringLiteral("French")},
        {QStringLiteral("de"), QStringLiteral("German")},
        {QStringLiteral("it"), QStringLiteral("Italian")},
        {QStringLiteral("pt"), QStringLiteral("Portuguese")},
        {QStringLiteral("nl"), QStringLiteral("Dutch")},
        {QStringLiteral("ru"), QStringLiteral("Russian")},
        {QStringLiteral("zh"), QStringLiteral("Chinese")},
        {QStringLiteral("ja"), QStringLiteral("Japanese")},
        {QStringLiteral("ko"), QStringLiteral("Korean")},
        {QStringLiteral("hi"), QStringLiteral("Hindi")},
    };
    return languages;
}

const QList<TranscriptionLanguage>& TranscriptionLanguage::translationTargets() {
    static const QList<TranscriptionLanguage> targets = [] {
        QList<TranscriptionLanguage> result;
        for (const auto& language : all()) {
            if (language.code != QLatin1String("auto")) {
                result.append(language);
            }
        }
        return result;
    }();
    return targets;
}

QString TranscriptionLanguage::displayName(const QString& code) {
    for (const auto& language : all()) {
        if (language.code == code) {
            return language.name;
        }
    }
    return code.toUpper();
}

size_t qHash(const TranscriptionLanguage& language, size_t seed) noexcept {
    return qHashMulti(seed, language.code, language.name);
}
