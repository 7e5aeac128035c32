#include "app/PendingServices.h"

#include "common/Logging.h"
#include "common/ServiceError.h"
#include "models/ModelCatalog.h"

namespace PendingServices {

void AudioRecorder::start(const std::optional<QString>&) {
    throw ServiceError(QStringLiteral("Microphone capture isn't available in this build yet."));
}

QCoro::Task<> TextCleanupService::ensureLoaded() { co_return; }

QCoro::Task<QString> TextCleanupService::clean(QString text) { co_return text; }

QCoro::Task<QString> TranslationService::translate(QString, QString, QString) {
    throw ServiceError(QStringLiteral("Translation isn't available in this build yet."));
    co_return QString();
}

void ModelDownloadManager::start(const DownloadableAsset& asset) {
    qCWarning(lcRecording).noquote()
        << "Model downloads aren't available in this build yet; cannot fetch" << asset.fileName();
}

void TextInserter::insertText(const QString& text) {
    qCWarning(lcRecording).noquote()
        << "Pasting isn't available in this build yet;" << text.size() << "characters not pasted";
}

} // namespace PendingServices
