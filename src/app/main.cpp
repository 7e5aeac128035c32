#include "app/AppController.h"
#include "common/AppPaths.h"
#include "common/Logging.h"
#include "common/NativeLibraries.h"
#include "models/ModelCatalog.h"
#include "store/AppSettings.h"
#include "store/DefaultsStore.h"
#include "store/UsageStatsStore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcApp, "com.murmex.app")

namespace {

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the event loop normally instead of killing the
// process in the middle of a write.
void quitOnTerminationSignals(QCoreApplication& app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

QString presence(const DownloadableAsset& asset) {
    return asset.isDownloaded() ? QStringLiteral("present") : QStringLiteral("not downloaded");
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("murmex"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MURMEX_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Murmex: private, on-device dictation."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(app);

    Logging::installMessageHandler();
    NativeLibraries::initialise();
    quitOnTerminationSignals(app);

    DefaultsStore& defaults = DefaultsStore::standard();
    AppController& controller = AppController::shared();
    const AppSettings& settings = controller.settings();
    const UsageStatsStore& stats = controller.stats();

    const WhisperModel& speechModel = WhisperModel::model(settings.selectedModel());
    qCInfo(lcApp).noquote() << "Murmex" << MURMEX_VERSION << "started;"
                            << NativeLibraries::describe();
    qCInfo(lcApp).noquote() << "Data directory:" << AppPaths::dataDirectory()
                            << "- settings:" << defaults.filePath();
    qCInfo(lcApp).noquote() << "Speech model" << speechModel.displayName() << "is"
                            << presence(speechModel) << "- cleanup model is"
                            << presence(CleanupModel::defaultModel())
                            << "- dictations so far:" << stats.sessionCount();

    const int status = QCoreApplication::exec();
    defaults.synchronize();
    return status;
}
