#include "speech/MediaTranscriptionService.h"

#include "common/Logging.h"
#include "common/SerialExecutor.h"
#include "common/ServiceError.h"
#include "speech/MediaDecoder.h"
#include "speech/TranscriptFormat.h"
#include "speech/TranscriptText.h"
#include "speech/TranscriptionServiceInterface.h"
#include "store/AppSettings.h"
#include "store/HistoryStoreInterface.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>

#include <atomic>
#include <cmath>

namespace {

const QString linksUnavailableMessage =
    QStringLiteral("Media links aren't available in this build yet.");

// Decoding reports progress for every decoded frame; the main thread only
// needs to hear of steps the progress bar can show.
constexpr double progressStep = 0.005;

} // namespace

QString MediaTranscriptionService::JobState::title() const {
    switch (kind) {
    case Kind::queued:
        return QStringLiteral("Preparing\u2026");
    case Kind::downloading:
        return QStringLiteral("Downloading\u2026");
    case Kind::decoding:
        return QStringLiteral("Decoding audio\u2026");
    case Kind::transcribing:
        return QStringLiteral("Transcribing\u2026");
    default:
        return {};
    }
}

QString MediaTranscriptionService::JobState::detail() const {
    if (kind == Kind::downloading && totalBytes >= 1) {
        const QLocale locale;
        return locale.formattedDataSize(bytesWritten, 1, QLocale::DataSizeSIFormat) +
               QStringLiteral(" of ") +
               locale.formattedDataSize(totalBytes, 1, QLocale::DataSizeSIFormat);
    }
    if (kind == Kind::transcribing) {
        return QStringLiteral("Running entirely on your computer. Long media can take a while.");
    }
    return {};
}

MediaTranscriptionService::MediaTranscriptionService(TranscriptionServiceInterface& transcription,
                                                     HistoryStoreInterface& history,
                                                     AppSettings& settings, MediaLinkSupport links,
                                                     ModelPathResolver modelPath, QObject* parent)
    : QObject(parent)
    , m_transcription(transcription)
    , m_history(history)
    , m_settings(settings)
    , m_links(std::move(links))
    , m_modelPath(std::move(modelPath)) {
    if (!m_modelPath) {
        m_modelPath = [](WhisperModel::Kind kind) { return WhisperModel::model(kind).localURL(); };
    }
    if (!m_links.validate) {
        m_links.validate = [](const QString&) -> ValidatedMediaLink {
            throw ServiceError(linksUnavailableMessage);
        };
    }
}

MediaTranscriptionService::~MediaTranscriptionService() { removeTemporaryFile(); }

void MediaTranscriptionService::setState(const JobState& state) {
    m_state = state;
    emit stateChanged(m_state);
}

void MediaTranscriptionService::setSavedToHistory(bool saved) {
    m_savedToHistory = saved;
    emit savedToHistoryChanged(saved);
}

void MediaTranscriptionService::removeTemporaryFile() {
    if (m_temporaryFile) {
        QFile::remove(*m_temporaryFile);
        m_temporaryFile.reset();
    }
}

void MediaTranscriptionService::transcribeFile(const QString& path,
                                               const std::optional<JobSettings>& settings) {
    if (m_state.isRunning()) {
        return;
    }
    startJob(
        TranscriptionSource::mediaFile, QFileInfo(path).fileName(),
        [path](std::uint64_t) -> QCoro::Task<ProvidedFile> {
            co_return ProvidedFile{path, false};
        },
        settings);
}

void MediaTranscriptionService::transcribeLink(const QString& text) {
    if (m_state.isRunning()) {
        return;
    }
    ValidatedMediaLink link;
    try {
        link = m_links.validate(text);
    } catch (const ServiceError& error) {
        setState(JobState::failed(error.description()));
        return;
    }
    startJob(
        TranscriptionSource::mediaURL, link.mediaName,
        [this, url = link.url](std::uint64_t job) { return downloadLink(job, url); }, std::nullopt);
}

void MediaTranscriptionService::startJob(TranscriptionSource source, const QString& mediaName,
                                         Provider provider,
                                         const std::optional<JobSettings>& settings) {
    setSavedToHistory(false);
    setState(JobState::queued());
    // The job keeps the settings it started with.
    const JobSettings jobSettings = settings.value_or(JobSettings{
        m_settings.selectedModel(), m_settings.language(), m_settings.stripPunctuation()});
    if (!QFileInfo::exists(m_modelPath(jobSettings.kind))) {
        setState(JobState::failed(modelMissingMessage));
        return;
    }
    const std::uint64_t job = ++m_currentJob;
    m_cancellation = CancellationFlag();
    runJob(job, m_cancellation, source, mediaName, std::move(provider), jobSettings);
}

QCoro::Task<MediaTranscriptionService::ProvidedFile>
MediaTranscriptionService::downloadLink(std::uint64_t job, QUrl url) {
    if (!m_links.makeDownloader) {
        throw ServiceError(linksUnavailableMessage);
    }
    const QPointer<MediaTranscriptionService> self(this);
    const std::shared_ptr<MediaURLDownloaderInterface> downloader = m_links.makeDownloader();
    m_downloader = downloader;
    setState(JobState::downloading({}));
    MediaURLDownloaderInterface::ProgressHandler onProgress =
        [self, job](const DownloadProgress& progress) {
            if (self && self->isCurrent(job) && self->m_state.kind == JobState::Kind::downloading) {
                self->setState(JobState::downloading(progress));
            }
        };
    auto download = downloader->download(std::move(url), std::move(onProgress));
    const QString path = co_await std::move(download);
    if (self && self->isCurrent(job)) {
        self->m_downloader.reset();
    }
    co_return ProvidedFile{path, true};
}

QCoro::Task<> MediaTranscriptionService::runJob(std::uint64_t job, CancellationFlag cancellation,
                                                TranscriptionSource source, QString mediaName,
                                                Provider provider, JobSettings settings) {
    const QPointer<MediaTranscriptionService> self(this);
    std::optional<QString> failure;
    bool cancelled = false;
    try {
        const ProvidedFile file = co_await provider(job);
        if (!self) {
            co_return;
        }
        if (file.isTemporary) {
            // A job cancelled meanwhile no longer owns a slot for its file.
            if (isCurrent(job)) {
                m_temporaryFile = file.path;
            } else {
                QFile::remove(file.path);
            }
        }
        cancellation.throwIfCancelled();
        setState(JobState::decoding(0.0));

        auto lastReported = std::make_shared<std::atomic<double>>(0.0);
        auto progress = [self, job, lastReported](double fraction) {
            if (fraction < 1.0 && fraction - lastReported->load() < progressStep) {
                return;
            }
            lastReported->store(fraction);
            QMetaObject::invokeMethod(
                self.data(),
                [self, job, fraction] {
                    if (self && self->isCurrent(job) &&
                        self->m_state.kind == JobState::Kind::decoding) {
                        self->setState(JobState::decoding(fraction));
                    }
                },
                Qt::QueuedConnection);
        };
        auto decoding = runDetached([path = file.path, progress, cancellation] {
            return MediaDecoder::decodeAudio(path, progress, cancellation);
        });
        SampleBuffer samples = co_await std::move(decoding);
        if (!self) {
            co_return;
        }
        cancellation.throwIfCancelled();
        setState(JobState::transcribing());

        const std::size_t sampleCount = samples.size();
        const SegmentsResult result = co_await m_transcription.transcribeSegments(
            std::move(samples), settings.language, settings.kind);
        if (!self) {
            co_return;
        }
        cancellation.throwIfCancelled();
        const QList<TranscriptSegment> segments =
            TranscriptText::removePunctuation(settings.stripPunctuation, result.segments);
        const auto durationMs = static_cast<std::int64_t>(
            std::trunc(static_cast<double>(sampleCount) / SampleRate::speech * 1000.0));

        removeTemporaryFile();
        if (segments.isEmpty()) {
            setState(JobState::failed(noSpeechMessage));
        } else {
            setState(JobState::done(
                Transcript{segments, result.language, source, mediaName, durationMs}));
            qCInfo(lcMediaTranscription).noquote()
                << QStringLiteral("Media transcription done: %1 segments").arg(segments.size());
        }
        co_return;
    } catch (const OperationCancelled&) {
        cancelled = true;
    } catch (const ServiceError& error) {
        failure = error.description();
    } catch (const std::exception& error) {
        failure = QString::fromUtf8(error.what());
    }
    if (!self || !isCurrent(job)) {
        co_return;
    }
    removeTemporaryFile();
    if (cancelled || cancellation.isCancelled()) {
        if (m_state.kind != JobState::Kind::done && m_state.kind != JobState::Kind::failed) {
            setState(JobState::idle());
        }
        co_return;
    }
    qCWarning(lcMediaTranscription).noquote() << "Media transcription failed:" << *failure;
    setState(JobState::failed(*failure));
}

void MediaTranscriptionService::cancel() {
    m_cancellation.cancel();
    // The job is no longer current: whatever it finishes with is dropped.
    ++m_currentJob;
    if (m_downloader) {
        m_downloader->cancel();
        m_downloader.reset();
    }
    removeTemporaryFile();
    setState(JobState::idle());
}

void MediaTranscriptionService::reset() {
    if (m_state.isRunning()) {
        return;
    }
    removeTemporaryFile();
    setSavedToHistory(false);
    setState(JobState::idle());
}

bool MediaTranscriptionService::saveToHistory() {
    if (m_state.kind != JobState::Kind::done || m_savedToHistory) {
        return false;
    }
    const Transcript& transcript = m_state.transcript;
    if (!m_history.insertMedia(TranscriptFormat::plainText(transcript.segments), transcript)) {
        return false;
    }
    setSavedToHistory(true);
    return true;
}
