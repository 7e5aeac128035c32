#pragma once

#include <QObject>

#include <functional>
#include <utility>

// Subscribes `handler` to a published property: it is called at once with the
// current value, then with every later value the property's change signal
// carries. The subscription ends when the connection is disconnected or when
// `sender` or `context` is destroyed.
//
//     observe(settings, &AppSettings::language, &AppSettings::languageChanged,
//             this, [this](const QString& code) { ... });
template <typename Sender, typename Getter, typename Signal, typename Handler>
QMetaObject::Connection observe(Sender* sender, Getter getter, Signal changed,
                                const QObject* context, Handler handler) {
    std::invoke(handler, std::invoke(getter, sender));
    return QObject::connect(sender, changed, context, std::move(handler));
}
