#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <variant>

// The per-user typed key-value store that settings, statistics and caches live
// in. Every value keeps its type (boolean, integer, double, string, data,
// date), so a typed read of a key that holds another type behaves as if the key
// were absent. The whole store is one JSON file; each change is written at once
// through an atomic replace, so the file always equals the values in memory.
//
// A file that cannot be parsed is moved aside (never deleted) and the store
// starts empty; single entries that cannot be understood are kept untouched and
// read as absent.
class DefaultsStore {
public:
    using Value = std::variant<bool, std::int64_t, double, QString, QByteArray, QDateTime>;

    // Reads `filePath` if it exists. Writes nothing, except that a damaged file
    // is renamed out of the way.
    explicit DefaultsStore(QString filePath);

    DefaultsStore(const DefaultsStore&) = delete;
    DefaultsStore& operator=(const DefaultsStore&) = delete;

    // The store of the current user, at AppPaths::defaultsFile(), created on
    // first use. Main thread only.
    static DefaultsStore& standard();

    QString filePath() const { return m_filePath; }

    // Where a damaged file found at construction was moved to; empty if none.
    QString damagedFileBackup() const { return m_damagedFileBackup; }

    bool contains(const QString& key) const;

    // The value under `key` with its type, or none when absent or unreadable.
    std::optional<Value> object(const QString& key) const;

    // Typed reads. Absent keys and keys of another type give false / 0 / none.
    // The numeric reads accept both integers and doubles, as numbers are one
    // family; a double read as an integer is truncated toward zero.
    bool boolValue(const QString& key) const;
    std::int64_t integerValue(const QString& key) const;
    double doubleValue(const QString& key) const;
    std::optional<QString> stringValue(const QString& key) const;
    std::optional<QByteArray> dataValue(const QString& key) const;
    std::optional<QDateTime> dateValue(const QString& key) const;

    // Each write stores the value and replaces the file. They report whether
    // the file could be written; the value is kept in memory either way.
    bool setBool(const QString& key, bool value);
    bool setInteger(const QString& key, std::int64_t value);
    bool setDouble(const QString& key, double value);
    bool setString(const QString& key, const QString& value);
    bool setData(const QString& key, const QByteArray& value);
    bool setDate(const QString& key, const QDateTime& value);
    bool remove(const QString& key);

    // Writes the current values again. Every change is already on disk, so this
    // only matters after a failed write (for example a full disk).
    bool synchronize();

private:
    void load();
    bool setEntry(const QString& key, const QString& type, const QJsonValue& value);
    bool write() const;

    QString m_filePath;
    QString m_damagedFileBackup;
    QJsonObject m_values;
};
