#include "store/DefaultsStore.h"

#include "common/AppPaths.h"
#include "common/JsonNumbers.h"
#include "common/Logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSaveFile>
#include <QTimeZone>

#include <cmath>

namespace {

constexpr int fileFormatVersion = 1;
constexpr double largestExactInteger = 9007199254740992.0;

const QString keyFormat = QStringLiteral("format");
const QString keyValues = QStringLiteral("values");
const QString keyType = QStringLiteral("type");
const QString keyValue = QStringLiteral("value");

const QString typeBool = QStringLiteral("bool");
const QString typeInteger = QStringLiteral("integer");
const QString typeDouble = QStringLiteral("double");
const QString typeString = QStringLiteral("string");
const QString typeData = QStringLiteral("data");
const QString typeDate = QStringLiteral("date");

std::optional<DefaultsStore::Value> decodeEntry(const QJsonValue& entry) {
    if (!entry.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = entry.toObject();
    const QString type = object.value(keyType).toString();
    const QJsonValue value = object.value(keyValue);
    if (type == typeBool && value.isBool()) {
        return value.toBool();
    }
    if (type == typeInteger) {
        // Integers beyond 2^53 are kept as decimal strings to stay exact.
        if (value.isString()) {
            bool ok = false;
            const qlonglong parsed = value.toString().toLongLong(&ok);
            return ok ? std::optional<DefaultsStore::Value>(std::int64_t{parsed}) : std::nullopt;
        }
        if (const auto integer = JsonNumbers::toInt64(value)) {
            return *integer;
        }
        return std::nullopt;
    }
    if (type == typeDouble && value.isDouble()) {
        return value.toDouble();
    }
    if (type == typeString && value.isString()) {
        return value.toString();
    }
    if (type == typeData && value.isString()) {
        const auto decoded = QByteArray::fromBase64Encoding(
            value.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) {
            return std::nullopt;
        }
        return *decoded;
    }
    if (type == typeDate && value.isDouble() && std::isfinite(value.toDouble())) {
        const auto msecs = static_cast<qint64>(std::llround(value.toDouble() * 1000.0));
        return QDateTime::fromMSecsSinceEpoch(msecs, QTimeZone::utc());
    }
    return std::nullopt;
}

QString damagedBackupPath(const QString& filePath) {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString candidate = filePath + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; QFileInfo::exists(candidate); ++n) {
        candidate =
            filePath + QStringLiteral(".damaged-") + stamp + QLatin1Char('-') + QString::number(n);
    }
    return candidate;
}

} // namespace

DefaultsStore::DefaultsStore(QString filePath)
    : m_filePath(std::move(filePath)) {
    load();
}

DefaultsStore& DefaultsStore::standard() {
    static DefaultsStore store(AppPaths::defaultsFile());
    return store;
}

void DefaultsStore::load() {
    QFile file(m_filePath);
    if (!file.exists()) {
        return;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcSettings).noquote()
            << "Cannot read" << m_filePath << ":" << file.errorString() << "- using defaults";
        return;
    }
    const QByteArray bytes = file.readAll();
    file.close();

    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    const QJsonValue values = document.object().value(keyValues);
    if (error.error == QJsonParseError::NoError && document.isObject() && values.isObject()) {
        m_values = values.toObject();
        return;
    }

    const QString reason = error.error != QJsonParseError::NoError
                               ? error.errorString()
                               : QStringLiteral("unexpected structure");
    const QString backup = damagedBackupPath(m_filePath);
    if (QFile::rename(m_filePath, backup)) {
        m_damagedFileBackup = backup;
        qCWarning(lcSettings).noquote() << "Settings file" << m_filePath << "is damaged (" << reason
                                        << "); moved to" << backup << "and using defaults";
    } else {
        qCWarning(lcSettings).noquote() << "Settings file" << m_filePath << "is damaged (" << reason
                                        << ") and could not be moved aside; using defaults";
    }
}

bool DefaultsStore::contains(const QString& key) const { return m_values.contains(key); }

std::optional<DefaultsStore::Value> DefaultsStore::object(const QString& key) const {
    const auto it = m_values.constFind(key);
    if (it == m_values.constEnd()) {
        return std::nullopt;
    }
    return decodeEntry(*it);
}

bool DefaultsStore::boolValue(const QString& key) const {
    const auto value = object(key);
    return value && std::holds_alternative<bool>(*value) && std::get<bool>(*value);
}

std::int64_t DefaultsStore::integerValue(const QString& key) const {
    const auto value = object(key);
    if (!value) {
        return 0;
    }
    if (const auto* integer = std::get_if<std::int64_t>(&*value)) {
        return *integer;
    }
    if (const auto* number = std::get_if<double>(&*value)) {
        if (std::isfinite(*number) && std::fabs(*number) < largestExactInteger) {
            return static_cast<std::int64_t>(*number);
        }
    }
    return 0;
}

double DefaultsStore::doubleValue(const QString& key) const {
    const auto value = object(key);
    if (!value) {
        return 0.0;
    }
    if (const auto* number = std::get_if<double>(&*value)) {
        return *number;
    }
    if (const auto* integer = std::get_if<std::int64_t>(&*value)) {
        return static_cast<double>(*integer);
    }
    return 0.0;
}

std::optional<QString> DefaultsStore::stringValue(const QString& key) const {
    const auto value = object(key);
    if (value && std::holds_alternative<QString>(*value)) {
        return std::get<QString>(*value);
    }
    return std::nullopt;
}

std::optional<QByteArray> DefaultsStore::dataValue(const QString& key) const {
    const auto value = object(key);
    if (value && std::holds_alternative<QByteArray>(*value)) {
        return std::get<QByteArray>(*value);
    }
    return std::nullopt;
}

std::optional<QDateTime> DefaultsStore::dateValue(const QString& key) const {
    const auto value = object(key);
    if (value && std::holds_alternative<QDateTime>(*value)) {
        return std::get<QDateTime>(*value);
    }
    return std::nullopt;
}

bool DefaultsStore::setBool(const QString& key, bool value) {
    return setEntry(key, typeBool, value);
}

bool DefaultsStore::setInteger(const QString& key, std::int64_t value) {
    constexpr std::int64_t exactLimit = std::int64_t{1} << 53;
    if (value >= -exactLimit && value <= exactLimit) {
        return setEntry(key, typeInteger, static_cast<double>(value));
    }
    return setEntry(key, typeInteger, QString::number(static_cast<qlonglong>(value)));
}

bool DefaultsStore::setDouble(const QString& key, double value) {
    // JSON has no representation for NaN or infinities.
    return setEntry(key, typeDouble, std::isfinite(value) ? value : 0.0);
}

bool DefaultsStore::setString(const QString& key, const QString& value) {
    return setEntry(key, typeString, value);
}

bool DefaultsStore::setData(const QString& key, const QByteArray& value) {
    return setEntry(key, typeData, QString::fromLatin1(value.toBase64()));
}

bool DefaultsStore::setDate(const QString& key, const QDateTime& value) {
    return setEntry(key, typeDate, static_cast<double>(value.toMSecsSinceEpoch()) / 1000.0);
}

bool DefaultsStore::remove(const QString& key) {
    m_values.remove(key);
    return write();
}

bool DefaultsStore::synchronize() { return write(); }

bool DefaultsStore::setEntry(const QString& key, const QString& type, const QJsonValue& value) {
    m_values.insert(key, QJsonObject{{keyType, type}, {keyValue, value}});
    return write();
}

bool DefaultsStore::write() const {
    const QFileInfo info(m_filePath);
    if (!QDir().mkpath(info.absolutePath())) {
        qCWarning(lcSettings).noquote() << "Cannot create" << info.absolutePath();
        return false;
    }
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly)) {
        qCWarning(lcSettings).noquote()
            << "Cannot write" << m_filePath << ":" << file.errorString();
        return false;
    }
    const QJsonObject root{{keyFormat, fileFormatVersion}, {keyValues, m_values}};
    file.write(QJsonDocument(root).toJson(QJsonDocument::Indented));
    if (!file.commit()) {
        qCWarning(lcSettings).noquote()
            << "Cannot write" << m_filePath << ":" << file.errorString();
        return false;
    }
    return true;
}
