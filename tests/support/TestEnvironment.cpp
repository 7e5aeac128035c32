#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

constexpr const char* isolatedVariables[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME",
                                             "XDG_CACHE_HOME", "XDG_STATE_HOME"};

std::optional<QByteArray> currentValue(const char* name) {
    if (!qEnvironmentVariableIsSet(name)) {
        return std::nullopt;
    }
    return qgetenv(name);
}

void restore(const char* name, const std::optional<QByteArray>& value) {
    if (value) {
        qputenv(name, *value);
    } else {
        qunsetenv(name);
    }
}

} // namespace

ScopedTestHome::ScopedTestHome() {
    if (!m_dir.isValid()) {
        ADD_FAILURE() << "cannot create a temporary directory";
        return;
    }
    for (const char* name : isolatedVariables) {
        m_saved[name] = currentValue(name);
    }
    QDir(m_dir.path()).mkpath(QStringLiteral("home"));
    qputenv("HOME", path(QStringLiteral("home")).toUtf8());
    qputenv("XDG_CONFIG_HOME", configHome().toUtf8());
    qputenv("XDG_DATA_HOME", dataHome().toUtf8());
    qputenv("XDG_CACHE_HOME", path(QStringLiteral("cache")).toUtf8());
    qputenv("XDG_STATE_HOME", path(QStringLiteral("state")).toUtf8());
}

ScopedTestHome::~ScopedTestHome() {
    for (const auto& [name, value] : m_saved) {
        restore(name.constData(), value);
    }
}

QString ScopedTestHome::configHome() const { return path(QStringLiteral("config")); }

QString ScopedTestHome::dataHome() const { return path(QStringLiteral("data")); }

QString ScopedTestHome::path(const QString& relative) const {
    return QDir(m_dir.path()).filePath(relative);
}

ScopedEnvironmentVariable::ScopedEnvironmentVariable(const char* name, const QByteArray& value)
    : m_name(name)
    , m_previous(currentValue(name)) {
    qputenv(name, value);
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() { restore(m_name.constData(), m_previous); }

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return {};
    }
    return file.readAll();
}
