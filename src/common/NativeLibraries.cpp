#include "common/NativeLibraries.h"

#include <QLoggingCategory>

#include <ggml.h>
#include <llama.h>
#include <whisper.h>

#include <mutex>

Q_LOGGING_CATEGORY(lcNative, "com.murmex.app.Native", QtWarningMsg)

namespace {

// The libraries are chatty at info level (every tensor on load); only their
// warnings and errors reach the log unless the category is enabled for debug.
void forwardNativeLog(ggml_log_level level, const char* text, void* /*userData*/) {
    if (text == nullptr) {
        return;
    }
    QString message = QString::fromUtf8(text).trimmed();
    if (message.isEmpty()) {
        return;
    }
    switch (level) {
    case GGML_LOG_LEVEL_ERROR:
        qCWarning(lcNative).noquote() << "error:" << message;
        break;
    case GGML_LOG_LEVEL_WARN:
        qCWarning(lcNative).noquote() << message;
        break;
    default:
        qCDebug(lcNative).noquote() << message;
        break;
    }
}

} // namespace

namespace NativeLibraries {

void initialise() {
    static std::once_flag once;
    std::call_once(once, [] {
        llama_log_set(forwardNativeLog, nullptr);
        whisper_log_set(forwardNativeLog, nullptr);
        llama_backend_init();
    });
}

QString describe() {
    return QStringLiteral("whisper.cpp %1, ggml %2 (%3); %4")
        .arg(QString::fromUtf8(whisper_version()), QString::fromUtf8(ggml_version()),
             QString::fromUtf8(ggml_commit()),
             QString::fromUtf8(llama_print_system_info()).trimmed());
}

} // namespace NativeLibraries
