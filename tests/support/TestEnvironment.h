#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <map>
#include <optional>

// Gives a test its own HOME and XDG directories under a fresh temporary
// directory, so nothing it does can reach the real user's settings, history
// or models. The previous environment comes back on destruction.
class ScopedTestHome {
public:
    ScopedTestHome();
    ~ScopedTestHome();

    ScopedTestHome(const ScopedTestHome&) = delete;
    ScopedTestHome& operator=(const ScopedTestHome&) = delete;

    QString root() const { return m_dir.path(); }
    QString configHome() const;
    QString dataHome() const;
    // A path under the temporary root.
    QString path(const QString& relative) const;

private:
    QTemporaryDir m_dir;
    std::map<QByteArray, std::optional<QByteArray>> m_saved;
};

// Sets one environment variable for a scope (for example TZ).
class ScopedEnvironmentVariable {
public:
    ScopedEnvironmentVariable(const char* name, const QByteArray& value);
    ~ScopedEnvironmentVariable();

    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

private:
    QByteArray m_name;
    std::optional<QByteArray> m_previous;
};

// Writes `bytes` to `path`, creating parent directories; fails the test on error.
void writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);
