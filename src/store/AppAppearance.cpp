#include "store/AppAppearance.h"

namespace Appearance {

const QList<AppAppearance>& all() {
    static const QList<AppAppearance> cases{AppAppearance::system, AppAppearance::light,
                                            AppAppearance::dark};
    return cases;
}

QString rawValue(AppAppearance appearance) {
    switch (appearance) {
    case AppAppearance::system:
        return QStringLiteral("system");
    case AppAppearance::light:
        return QStringLiteral("light");
    case AppAppearance::dark:
        return QStringLiteral("dark");
    }
    return QStringLiteral("system");
}

AppAppearance fromRawValue(const QString& value) {
    for (const auto appearance : all()) {
        if (rawValue(appearance) == value) {
            return appearance;
        }
    }
    return AppAppearance::system;
}

QString label(AppAppearance appearance) {
    switch (appearance) {
    case AppAppearance::system:
        return QStringLiteral("System");
    case AppAppearance::light:
        return QStringLiteral("Light");
    case AppAppearance::dark:
        return QStringLiteral("Dark");
    }
    return QStringLiteral("System");
}

} // namespace Appearance
