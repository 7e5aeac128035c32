#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// Base of the errors services throw. Every error carries the fixed,
// user-facing description that callers show or log as it is.
class ServiceError : public std::exception {
public:
    explicit ServiceError(QString description)
        : m_description(std::move(description))
        , m_utf8(m_description.toUtf8()) {}

    const QString& description() const noexcept { return m_description; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
};
