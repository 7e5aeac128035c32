#include "common/AppPaths.h"

#include <QDir>
#include <QStandardPaths>

namespace {

const QString applicationDirectoryName = QStringLiteral("murmex");

QString firstWritable(QStandardPaths::StandardLocation location) {
    return QStandardPaths::writableLocation(location);
}

} // namespace

namespace AppPaths {

QString dataDirectory() {
    return QDir(firstWritable(QStandardPaths::GenericDataLocation))
        .filePath(applicationDirectoryName);
}

QString configDirectory() {
    return QDir(firstWritable(QStandardPaths::GenericConfigLocation))
        .filePath(applicationDirectoryName);
}

QString defaultsFile() { return QDir(configDirectory()).filePath(QStringLiteral("defaults.json")); }

QString autostartDirectory() {
    return QDir(firstWritable(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("autostart"));
}

} // namespace AppPaths
