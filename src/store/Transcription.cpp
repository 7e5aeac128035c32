#include "store/Transcription.h"

namespace TranscriptionSources {

QString rawValue(TranscriptionSource source) {
    switch (source) {
    case TranscriptionSource::dictation:
        return QStringLiteral("dictation");
    case TranscriptionSource::mediaFile:
        return QStringLiteral("mediaFile");
    case TranscriptionSource::mediaURL:
        return QStringLiteral("mediaURL");
    }
    return QStringLiteral("dictation");
}

TranscriptionSource fromRawValue(const QString& value) {
    if (value == QLatin1String("mediaFile")) {
        return TranscriptionSource::mediaFile;
    }
    if (value == QLatin1String("mediaURL")) {
        return TranscriptionSource::mediaURL;
    }
    return TranscriptionSource::dictation;
}

} // namespace TranscriptionSources
