#include "platform/linux/XdgAutostartLoginItem.h"

#include "common/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

const QString desktopFileName = QStringLiteral("murmex.desktop");

// Quotes an Exec argument as desktop entries require when it holds characters
// the launcher would otherwise split or interpret.
QString quotedExecArgument(const QString& argument) {
    static const QRegularExpression reserved(QStringLiteral(R"([\s"'\\><~|&;$*?#()`=%])"));
    if (!argument.contains(reserved)) {
        return argument;
    }
    QString escaped = argument;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('"'), QStringLiteral("\\\""))
        .replace(QLatin1Char('`'), QStringLiteral("\\`"))
        .replace(QLatin1Char('$'), QStringLiteral("\\$"));
    escaped.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

bool isHidden(const QByteArray& contents) {
    static const QRegularExpression hidden(QStringLiteral(R"(^\s*Hidden\s*=\s*true\s*$)"),
                                           QRegularExpression::MultilineOption);
    return hidden.match(QString::fromUtf8(contents)).hasMatch();
}

} // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem(QString autostartDirectory, QString executablePath)
    : m_autostartDirectory(std::move(autostartDirectory))
    , m_executablePath(std::move(executablePath)) {}

QString XdgAutostartLoginItem::desktopFilePath() const {
    const QString directory =
        m_autostartDirectory.isEmpty() ? AppPaths::autostartDirectory() : m_autostartDirectory;
    return QDir(directory).filePath(desktopFileName);
}

LoginItemService::Status XdgAutostartLoginItem::status() const {
    QFile file(desktopFilePath());
    if (!file.open(QIODevice::ReadOnly)) {
        return Status::notRegistered;
    }
    return isHidden(file.readAll()) ? Status::notRegistered : Status::enabled;
}

bool XdgAutostartLoginItem::registerItem() {
    const QString executable =
        m_executablePath.isEmpty() ? QCoreApplication::applicationFilePath() : m_executablePath;
    if (executable.isEmpty()) {
        return false;
    }
    const QString path = desktopFilePath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Murmex\n"
                                         "Comment=On-device dictation\n"
                                         "Exec=%1\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(quotedExecArgument(executable));
    file.write(entry.toUtf8());
    return file.commit();
}

bool XdgAutostartLoginItem::unregisterItem() {
    QFile file(desktopFilePath());
    return !file.exists() || file.remove();
}
