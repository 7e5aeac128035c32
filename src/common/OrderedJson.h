#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// Writes compact JSON objects whose keys keep the order they were added in
// (QJsonDocument sorts them). Strings are escaped the way the stored formats
// have always been written: quote, backslash and slash get a backslash,
// control characters their short or \u00XX form, everything else is UTF-8.
class OrderedJsonObject {
public:
    OrderedJsonObject& add(const char* key, const QString& value);
    OrderedJsonObject& add(const char* key, std::int64_t value);
    OrderedJsonObject& add(const char* key, std::uint64_t value);
    OrderedJsonObject& add(const char* key, bool value);

    // The finished object, braces included.
    QByteArray toJson() const;

    static void appendString(QByteArray& out, const QString& value);

private:
    void appendKey(const char* key);

    QByteArray m_body;
};
