#pragma once

#include <QList>
#include <QString>

// How the windows look: following the desktop, or forced light or dark.
enum class AppAppearance { system, light, dark };

namespace Appearance {

// In the order a picker offers them.
const QList<AppAppearance>& all();
// The stored form: "system", "light" or "dark".
QString rawValue(AppAppearance appearance);
// The stored string matched exactly; anything else reads as system.
AppAppearance fromRawValue(const QString& value);
// "System", "Light" or "Dark".
QString label(AppAppearance appearance);

} // namespace Appearance
