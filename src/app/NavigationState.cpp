#include "app/NavigationState.h"

namespace AppSections {

const QList<AppSection>& all() {
    static const QList<AppSection> sections{AppSection::home, AppSection::transcribe,
                                            AppSection::history, AppSection::settings};
    return sections;
}

QString rawValue(AppSection section) {
    switch (section) {
    case AppSection::home:
        return QStringLiteral("Home");
    case AppSection::transcribe:
        return QStringLiteral("Transcribe");
    case AppSection::history:
        return QStringLiteral("History");
    case AppSection::settings:
        return QStringLiteral("Settings");
    }
    return QStringLiteral("Home");
}

} // namespace AppSections
