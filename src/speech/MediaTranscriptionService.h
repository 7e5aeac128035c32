#pragma once

#include "common/Cancellation.h"
#include "models/ModelCatalog.h"
#include "speech/MediaURLDownloaderInterface.h"
#include "speech/Transcript.h"

#include <QObject>
#include <QString>
#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>
#include <optional>

class AppSettings;
class HistoryStoreInterface;
class TranscriptionServiceInterface;

// Turns one audio or video file, or one https media link, into a timed
// transcript, one job at a time, and saves a result to the history on
// request. Main thread only; decoding and recognition run on workers.
class MediaTranscriptionService final : public QObject {
    Q_OBJECT

public:
    struct JobState {
        enum class Kind { idle, queued, downloading, decoding, transcribing, done, failed };

        Kind kind = Kind::idle;
        double fraction = 0.0; // downloading, decoding
        std::int64_t bytesWritten = 0;
        std::int64_t totalBytes = 0;
        Transcript transcript; // done
        QString message;       // failed

        static JobState idle() { return {}; }
        static JobState queued() { return ofKind(Kind::queued); }
        static JobState downloading(const DownloadProgress& progress) {
            JobState state = ofKind(Kind::downloading);
            state.fraction = progress.fraction;
            state.bytesWritten = progress.bytesWritten;
            state.totalBytes = progress.totalBytes;
            return state;
        }
        static JobState decoding(double fraction) {
            JobState state = ofKind(Kind::decoding);
            state.fraction = fraction;
            return state;
        }
        static JobState transcribing() { return ofKind(Kind::transcribing); }
        static JobState done(Transcript transcript) {
            JobState state = ofKind(Kind::done);
            state.transcript = std::move(transcript);
            return state;
        }
        static JobState failed(QString message) {
            JobState state = ofKind(Kind::failed);
            state.message = std::move(message);
            return state;
        }

        bool isRunning() const {
            return kind == Kind::queued || kind == Kind::downloading || kind == Kind::decoding ||
                   kind == Kind::transcribing;
        }
        // The progress title and detail line of the Transcribe screen; empty
        // when the state shows none.
        QString title() const;
        QString detail() const;

        bool operator==(const JobState&) const = default;

    private:
        static JobState ofKind(Kind kind) {
            JobState state;
            state.kind = kind;
            return state;
        }
    };

    using ModelPathResolver = std::function<QString(WhisperModel::Kind)>;

    // The settings a job runs with; read from the user's settings when a job
    // starts unless given.
    struct JobSettings {
        WhisperModel::Kind kind = WhisperModel::Kind::turbo;
        QString language;
        bool stripPunctuation = false;
    };

    static inline const QString modelMissingMessage = QStringLiteral(
        "The transcription model isn't downloaded yet. Finish setup in Settings first.");
    static inline const QString noSpeechMessage =
        QStringLiteral("No speech was found in this media.");

    MediaTranscriptionService(TranscriptionServiceInterface& transcription,
                              HistoryStoreInterface& history, AppSettings& settings,
                              MediaLinkSupport links = {}, ModelPathResolver modelPath = {},
                              QObject* parent = nullptr);
    ~MediaTranscriptionService() override;

    const JobState& state() const { return m_state; }
    bool savedToHistory() const { return m_savedToHistory; }

    // Both are ignored while a job runs.
    void transcribeFile(const QString& path, const std::optional<JobSettings>& settings = {});
    void transcribeLink(const QString& text);
    // Stops the running job and returns to idle.
    void cancel();
    // Clears a finished result.
    void reset();
    // Stores the finished result once; false when there is none to store or
    // the history could not take it.
    bool saveToHistory();

signals:
    void stateChanged(const MediaTranscriptionService::JobState& state);
    void savedToHistoryChanged(bool saved);

private:
    // Produces the local file of a job: its path and whether the job owns it.
    struct ProvidedFile {
        QString path;
        bool isTemporary = false;
    };
    using Provider = std::function<QCoro::Task<ProvidedFile>(std::uint64_t job)>;

    void startJob(TranscriptionSource source, const QString& mediaName, Provider provider,
                  const std::optional<JobSettings>& settings);
    QCoro::Task<> runJob(std::uint64_t job, CancellationFlag cancellation,
                         TranscriptionSource source, QString mediaName, Provider provider,
                         JobSettings settings);
    QCoro::Task<ProvidedFile> downloadLink(std::uint64_t job, QUrl url);
    bool isCurrent(std::uint64_t job) const { return m_currentJob == job; }
    void setState(const JobState& state);
    void setSavedToHistory(bool saved);
    void removeTemporaryFile();

    TranscriptionServiceInterface& m_transcription;
    HistoryStoreInterface& m_history;
    AppSettings& m_settings;
    MediaLinkSupport m_links;
    ModelPathResolver m_modelPath;

    JobState m_state;
    bool m_savedToHistory = false;
    std::uint64_t m_currentJob = 0;
    CancellationFlag m_cancellation;
    std::shared_ptr<MediaURLDownloaderInterface> m_downloader;
    std::optional<QString> m_temporaryFile;
};
