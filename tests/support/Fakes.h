#pragma once

// Fakes of the pipeline's services for unit tests of the logic above them.
//
// QCoro 0.8 moves from a non-const lvalue given to co_return, so the fakes
// return copies of their scripted members.

#include "app/IndicatorPanel.h"
#include "app/TextInserter.h"
#include "audio/AudioRecorderInterface.h"
#include "common/ServiceError.h"
#include "llm/TextCleanupServiceInterface.h"
#include "llm/TranslationServiceInterface.h"
#include "models/ModelDownloadManagerInterface.h"
#include "platform/KeyEventSource.h"
#include "platform/KeyNameProvider.h"
#include "platform/LoginItemService.h"
#include "platform/PermissionProbe.h"
#include "speech/Transcript.h"
#include "speech/TranscriptionServiceInterface.h"
#include "store/HistoryStoreInterface.h"

#include <QCoreApplication>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <qcoro/qcorosignal.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Holds an awaiting service call until the test opens it. Opening resumes
// the waiting coroutine (through a queued signal) before returning.
class Gate : public QObject {
    Q_OBJECT
public:
    bool isClosed() const { return m_closed; }
    void close() { m_closed = true; }
    void open() {
        m_closed = false;
        emit opened();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
    QCoro::Task<> pass() {
        if (m_closed) {
            co_await qCoro(this, &Gate::opened);
        }
    }
signals:
    void opened();

private:
    bool m_closed = false;
};

class FakeRecorder final : public AudioRecorderInterface {
public:
    void start(const std::optional<QString>& deviceUID) override {
        startedWith.push_back(deviceUID);
        if (startError) {
            throw ServiceError(*startError);
        }
        isRecording = true;
    }
    SampleBuffer stop() override {
        ++stopCount;
        isRecording = false;
        return samples;
    }
    void setDelegate(AudioRecorderDelegate* newDelegate) override { delegate = newDelegate; }

    std::optional<QString> startError;
    SampleBuffer samples = SampleBuffer(16000, 0.1f);
    std::vector<std::optional<QString>> startedWith;
    int stopCount = 0;
    bool isRecording = false;
    AudioRecorderDelegate* delegate = nullptr;
};

class FakeTranscription final : public TranscriptionServiceInterface {
public:
    struct Call {
        std::size_t sampleCount;
        QString language;
        WhisperModel::Kind kind;
    };

    QCoro::Task<> ensureLoaded(WhisperModel::Kind kind) override {
        loadedKinds.push_back(kind);
        co_return;
    }
    QCoro::Task<TranscriptionResult> transcribe(SampleBuffer samples, QString language,
                                                WhisperModel::Kind kind) override {
        calls.push_back({samples.size(), language, kind});
        co_await gate.pass();
        if (error) {
            throw ServiceError(*error);
        }
        co_return TranscriptionResult(result);
    }
    QCoro::Task<SegmentsResult> transcribeSegments(SampleBuffer samples, QString language,
                                                   WhisperModel::Kind kind) override {
        calls.push_back({samples.size(), language, kind});
        co_await gate.pass();
        if (error) {
            throw ServiceError(*error);
        }
        co_return SegmentsResult(segmentsResult);
    }
    void unload() override { ++unloadCount; }

    SegmentsResult segmentsResult{{{0, QStringLiteral("Hello."), 0, 1000}}, QStringLiteral("en")};
    TranscriptionResult result{QStringLiteral("Hello world."), QStringLiteral("en")};
    std::optional<QString> error;
    Gate gate;
    std::vector<Call> calls;
    std::vector<WhisperModel::Kind> loadedKinds;
    int unloadCount = 0;
};

class FakeCleanup final : public TextCleanupServiceInterface {
public:
    QCoro::Task<> ensureLoaded() override {
        ++loadCount;
        co_return;
    }
    QCoro::Task<QString> clean(QString text) override {
        inputs.append(text);
        co_await gate.pass();
        co_return QString(cleaned.value_or(text));
    }

    std::optional<QString> cleaned;
    Gate gate;
    QStringList inputs;
    int loadCount = 0;
};

class FakeTranslation final : public TranslationServiceInterface {
public:
    struct Call {
        QString text;
        QString target;
        QString source;
    };
    QCoro::Task<QString> translate(QString text, QString target, QString source) override {
        calls.push_back({text, target, source});
        co_await gate.pass();
        if (error) {
            throw ServiceError(*error);
        }
        co_return QString(translated);
    }

    QString translated = QStringLiteral("Hallo Welt.");
    std::optional<QString> error;
    Gate gate;
    std::vector<Call> calls;
};

class FakeHistory final : public HistoryStoreInterface {
public:
    struct Row {
        QString text;
        QString language;
        std::optional<QString> rawText;
    };
    bool insertDictation(const QString& text, const QString& language,
                         const std::optional<QString>& rawText) override {
        if (failInserts) {
            return false;
        }
        rows.push_back({text, language, rawText});
        return true;
    }
    bool insertMedia(const QString& text, const Transcript& transcript) override {
        if (failInserts || text.isEmpty()) {
            return false;
        }
        mediaRows.push_back(transcript);
        return true;
    }
    qsizetype entryCount() const override {
        return static_cast<qsizetype>(rows.size() + mediaRows.size());
    }
    std::optional<QString> newestText() const override {
        return rows.empty() ? std::nullopt : std::optional(rows.back().text);
    }

    bool failInserts = false;
    std::vector<Row> rows;
    std::vector<Transcript> mediaRows;
};

class FakeDownloads final : public ModelDownloadManagerInterface {
public:
    void start(const DownloadableAsset& asset) override { started.append(asset.assetID()); }
    QStringList started;
};

class FakeTextInserter final : public TextInserter {
public:
    void insertText(const QString& text) override { inserted.append(text); }
    QStringList inserted;
};

class FakeKeyEventSource final : public KeyEventSource {
public:
    bool start(Handler newHandler) override {
        ++startCount;
        if (refuse) {
            return false;
        }
        handler = std::move(newHandler);
        return true;
    }
    void stop() override {
        ++stopCount;
        handler = nullptr;
    }
    bool isRunning() const override { return static_cast<bool>(handler); }
    void reenable() override { ++reenableCount; }

    // Delivers an event as the platform would, if listening.
    void send(const KeyEvent& event) {
        if (handler) {
            handler(event);
        }
    }

    bool refuse = false;
    Handler handler;
    int startCount = 0;
    int stopCount = 0;
    int reenableCount = 0;
};

// Records what the indicator panel was asked to show.
class FakeIndicatorPanel final : public IndicatorPanel {
public:
    struct Record {
        std::optional<IndicatorState> state;
        bool visible = false;
        int showCount = 0;
    };
    explicit FakeIndicatorPanel(std::shared_ptr<Record> record)
        : m_record(std::move(record)) {}
    void setState(const IndicatorState& state) override { m_record->state = state; }
    void showOnTop() override {
        m_record->visible = true;
        ++m_record->showCount;
    }
    void hide() override { m_record->visible = false; }

private:
    std::shared_ptr<Record> m_record;
};

class FakeKeyNames final : public KeyNameProvider {
public:
    std::optional<QString> layoutText(std::uint16_t keyCode) const override {
        const auto it = texts.find(keyCode);
        return it == texts.end() ? std::nullopt : std::optional(*it);
    }
    QMap<std::uint16_t, QString> texts{
        {0, QStringLiteral("a")}, {17, QStringLiteral("t")}, {2, QStringLiteral("d")}};
};

class FakeLoginItems final : public LoginItemService {
public:
    Status status() const override { return registered ? Status::enabled : Status::notRegistered; }
    bool registerItem() override {
        ++registerCount;
        registered = true;
        return true;
    }
    bool unregisterItem() override {
        ++unregisterCount;
        registered = false;
        return true;
    }
    bool registered = false;
    int registerCount = 0;
    int unregisterCount = 0;
};

class FakePermissionProbe final : public PermissionProbe {
public:
    PermissionStatus microphone() const override { return microphoneStatus; }
    PermissionStatus accessibility() const override { return accessibilityStatus; }
    PermissionStatus inputMonitoring() const override { return inputMonitoringStatus; }

    PermissionStatus microphoneStatus = PermissionStatus::notDetermined;
    PermissionStatus accessibilityStatus = PermissionStatus::notDetermined;
    PermissionStatus inputMonitoringStatus = PermissionStatus::notDetermined;
};
