#include "speech/WhisperContext.h"

#include "common/Logging.h"
#include "common/NativeLibraries.h"
#include "speech/TranscriptText.h"
#include "speech/WhisperError.h"
#include "speech/WhisperModelFile.h"

#include <QThread>

#include <whisper.h>

#include <algorithm>
#include <limits>

namespace {

// Whisper's decoder gains nothing from more than eight threads and needs at
// least four to keep up with long media on small machines.
int decodingThreadCount() { return std::clamp(QThread::idealThreadCount(), 4, 8); }

} // namespace

whisper_full_params WhisperContext::decodingParameters(const QByteArray& language) {
    whisper_full_params params = whisper_full_default_params(WHISPER_SAMPLING_GREEDY);
    params.n_threads = decodingThreadCount();
    params.translate = false;
    params.no_context = true;
    params.single_segment = false;
    params.print_special = false;
    params.print_progress = false;
    params.print_realtime = false;
    params.print_timestamps = false;
    params.suppress_blank = true;
    params.suppress_nst = true;
    params.temperature = 0.0f;
    params.temperature_inc = 0.2f;
    params.entropy_thold = 2.4f;
    params.logprob_thold = -1.0f;
    params.no_speech_thold = 0.6f;
    params.language = language.constData();
    params.detect_language = false;
    return params;
}

WhisperContext::WhisperContext(whisper_context* handle, QString modelPath)
    : m_handle(handle)
    , m_modelPath(std::move(modelPath)) {}

WhisperContext::~WhisperContext() {
    if (m_handle) {
        whisper_free(m_handle);
    }
}

std::shared_ptr<WhisperContext> WhisperContext::load(const QString& modelPath) {
    NativeLibraries::initialise();
    if (const auto problem = WhisperModelFile::structuralProblem(modelPath)) {
        qCWarning(lcRecording).noquote()
            << "Not loading" << modelPath << "as a speech model:" << *problem;
        throw WhisperError::modelLoadFailed(modelPath);
    }
    whisper_context_params params = whisper_context_default_params();
    params.use_gpu = true;
    whisper_context* handle = nullptr;
    // The library reports some malformed files by throwing; that must never
    // take the application down.
    try {
        handle = whisper_init_from_file_with_params(modelPath.toUtf8().constData(), params);
    } catch (const std::exception& error) {
        qCWarning(lcRecording).noquote()
            << "whisper.cpp rejected" << modelPath << ":" << error.what();
        handle = nullptr;
    }
    if (!handle) {
        throw WhisperError::modelLoadFailed(modelPath);
    }
    return std::shared_ptr<WhisperContext>(new WhisperContext(handle, modelPath));
}

WhisperContext::Decoded WhisperContext::decode(const SampleBuffer& samples,
                                               const QString& language) {
    if (!m_handle) {
        throw WhisperError::modelLoadFailed(m_modelPath);
    }
    if (samples.empty()) {
        throw WhisperError::emptyAudio();
    }
    // Two hours of audio is 115,200,000 samples: far below the limit.
    Q_ASSERT(samples.size() <= static_cast<std::size_t>(std::numeric_limits<int>::max()));

    const QByteArray languageCode = language.toUtf8();
    const whisper_full_params params = decodingParameters(languageCode);
    int result = 0;
    try {
        result = whisper_full(m_handle, params, samples.data(), static_cast<int>(samples.size()));
    } catch (const std::exception& error) {
        qCWarning(lcRecording).noquote() << "whisper.cpp failed:" << error.what();
        result = -1;
    }
    if (result != 0) {
        throw WhisperError::transcriptionFailed(result);
    }

    Decoded decoded;
    const int count = whisper_full_n_segments(m_handle);
    for (int i = 0; i < count; ++i) {
        const char* text = whisper_full_get_segment_text(m_handle, i);
        if (text == nullptr ||
            whisper_full_get_segment_no_speech_prob(m_handle, i) > noSpeechDropThreshold) {
            continue;
        }
        decoded.segments.append({QString::fromUtf8(text), whisper_full_get_segment_t0(m_handle, i),
                                 whisper_full_get_segment_t1(m_handle, i)});
    }
    const int languageId = whisper_full_lang_id(m_handle);
    if (languageId >= 0) {
        if (const char* code = whisper_lang_str(languageId)) {
            decoded.detectedLanguage = QString::fromUtf8(code);
        }
    }
    return decoded;
}

QCoro::Task<WhisperContext::Dictation> WhisperContext::transcribe(SampleBuffer samples,
                                                                  QString language) {
    return m_executor.run([this, samples = std::move(samples), language]() -> Dictation {
        const Decoded decoded = decode(samples, language);
        QString joined;
        for (const RawSegment& segment : decoded.segments) {
            joined += segment.text;
        }
        return {TranscriptText::collapseRepeats(joined).trimmed(), decoded.detectedLanguage};
    });
}

QCoro::Task<WhisperContext::Segments> WhisperContext::transcribeSegments(SampleBuffer samples,
                                                                         QString language) {
    return m_executor.run([this, samples = std::move(samples), language]() -> Segments {
        const Decoded decoded = decode(samples, language);
        Segments result{{}, decoded.detectedLanguage};
        for (const RawSegment& segment : decoded.segments) {
            const QString text = TranscriptText::collapseRepeats(segment.text).trimmed();
            if (text.isEmpty()) {
                continue;
            }
            // Whisper's times are in units of 10 ms.
            result.segments.append(
                {result.segments.size(), text, segment.t0 * 10, segment.t1 * 10});
        }
        return result;
    });
}
