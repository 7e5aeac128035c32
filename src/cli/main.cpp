// murmex-cli: scripted access to Murmex's transcription and history, on the
// same services and data directory as the application.
#include "cli/CliCommands.h"
#include "common/Logging.h"
#include "common/NativeLibraries.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("murmex-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MURMEX_VERSION));
    Logging::installMessageHandler();
    NativeLibraries::initialise();
    return CliCommands::run(QCoreApplication::arguments());
}
