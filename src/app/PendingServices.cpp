#include "app/PendingServices.h"

#include "common/Logging.h"
#include "common/ServiceError.h"
#include "models/ModelCatalog.h"

namespace PendingServices {

void ModelDownloadManager::start(const DownloadableAsset& asset) {
    qCWarning(lcRecording).noquote()
        << "Model downloads aren't available in this build yet; cannot fetch" << asset.fileName();
}

void TextInserter::insertText(const QString& text) {
    qCWarning(lcRecording).noquote()
        << "Pasting isn't available in this build yet;" << text.size() << "characters not pasted";
}

} // namespace PendingServices
