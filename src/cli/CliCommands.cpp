#include "cli/CliCommands.h"

#include "common/ServiceError.h"
#include "llm/LlamaTranslationService.h"
#include "llm/TextCleanupService.h"
#include "llm/TranslationService.h"
#include "models/ModelCatalog.h"
#include "speech/MediaTranscriptionService.h"
#include "speech/TranscriptFormat.h"
#include "speech/TranscriptionService.h"
#include "store/AppSettings.h"
#include "store/DefaultsStore.h"
#include "store/HistorySearch.h"
#include "store/HistoryStore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QTextStream>

#include <exception>
#include <optional>

namespace {

const QString usageText =
    QStringLiteral("Usage:\n"
                   "  murmex-cli transcribe FILE [--model PATH] [--language CODE]\n"
                   "                        [--format txt|srt|json|timestamps] [--save]\n"
                   "  murmex-cli clean TEXT|- [--model PATH]\n"
                   "  murmex-cli translate TEXT|- --to CODE [--from CODE] [--model PATH]\n"
                   "  murmex-cli history list\n"
                   "  murmex-cli history search QUERY\n"
                   "  murmex-cli history export ID --format txt|srt\n");

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

int fail(const QString& message, int status = CliCommands::failure) {
    err() << message << Qt::endl;
    return status;
}

int usage(const QString& problem = {}) {
    if (!problem.isEmpty()) {
        err() << problem << '\n';
    }
    err() << usageText << Qt::flush;
    return CliCommands::usageError;
}

// Writes `text` followed by a single newline (none doubled).
void printText(const QString& text) {
    out() << text;
    if (!text.endsWith(QLatin1Char('\n'))) {
        out() << '\n';
    }
    out() << Qt::flush;
}

std::optional<QString> formatTranscript(const Transcript& transcript, const QString& format) {
    if (format == QLatin1String("txt")) {
        return TranscriptFormat::plainText(transcript.segments);
    }
    if (format == QLatin1String("srt")) {
        return TranscriptFormat::srtText(transcript.segments);
    }
    if (format == QLatin1String("json")) {
        return QString::fromUtf8(TranscriptSegment::encodeList(transcript.segments));
    }
    if (format == QLatin1String("timestamps")) {
        return TranscriptFormat::timestampedText(transcript.segments);
    }
    return std::nullopt;
}

int transcribe(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("command"), {});
    parser.addPositionalArgument(QStringLiteral("file"), {});
    const QCommandLineOption modelOption(QStringLiteral("model"), {}, QStringLiteral("path"));
    const QCommandLineOption languageOption(QStringLiteral("language"), {}, QStringLiteral("code"));
    const QCommandLineOption formatOption(QStringLiteral("format"), {}, QStringLiteral("format"),
                                          QStringLiteral("txt"));
    const QCommandLineOption saveOption(QStringLiteral("save"));
    parser.addOptions({modelOption, languageOption, formatOption, saveOption});
    if (!parser.parse(arguments)) {
        return usage(parser.errorText());
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2) {
        return usage();
    }
    const QString format = parser.value(formatOption);
    if (!formatTranscript({}, format)) {
        return usage(QStringLiteral("Unknown format: %1").arg(format));
    }

    AppSettings& settings = AppSettings::shared();
    const QString modelOverride = parser.isSet(modelOption)
                                      ? QFileInfo(parser.value(modelOption)).absoluteFilePath()
                                      : QString();
    const auto modelPath = [modelOverride](WhisperModel::Kind kind) {
        return modelOverride.isEmpty() ? WhisperModel::model(kind).localURL() : modelOverride;
    };
    TranscriptionService transcription(modelPath);
    HistoryStore history;
    MediaTranscriptionService media(transcription, history, settings, {}, modelPath);

    const MediaTranscriptionService::JobSettings job{
        settings.selectedModel(),
        parser.isSet(languageOption) ? parser.value(languageOption) : settings.language(),
        settings.stripPunctuation()};
    QEventLoop loop;
    QObject::connect(&media, &MediaTranscriptionService::stateChanged, &loop,
                     [&loop](const MediaTranscriptionService::JobState& state) {
                         if (!state.isRunning()) {
                             loop.quit();
                         }
                     });
    media.transcribeFile(QFileInfo(positional[1]).absoluteFilePath(), job);
    if (media.state().isRunning()) {
        loop.exec();
    }

    const MediaTranscriptionService::JobState& state = media.state();
    if (state.kind != MediaTranscriptionService::JobState::Kind::done) {
        return fail(state.message);
    }
    printText(*formatTranscript(state.transcript, format));
    if (parser.isSet(saveOption)) {
        if (!media.saveToHistory()) {
            return fail(QStringLiteral("The transcript could not be saved to the history."));
        }
        err() << "Saved to history." << Qt::endl;
    }
    return CliCommands::success;
}

template <typename T>
QCoro::Task<> captureResult(QCoro::Task<T> task, std::optional<T>& result,
                            std::exception_ptr& error, bool& done, QEventLoop& loop) {
    try {
        result.emplace(co_await std::move(task));
    } catch (...) {
        error = std::current_exception();
    }
    done = true;
    loop.quit();
}

// Runs the event loop until `task` ends; returns its result or rethrows.
template <typename T>
T runToCompletion(QCoro::Task<T> task) {
    QEventLoop loop;
    std::optional<T> result;
    std::exception_ptr error;
    bool done = false;
    auto runner = captureResult(std::move(task), result, error, done, loop);
    if (!done) {
        loop.exec();
    }
    if (error) {
        std::rethrow_exception(error);
    }
    return std::move(*result);
}

// The text argument of clean and translate: itself, or standard input for "-".
QString textArgument(const QString& argument) {
    if (argument == QLatin1String("-")) {
        QTextStream input(stdin);
        return input.readAll();
    }
    return argument;
}

QString cleanupModelPath(const QCommandLineParser& parser, const QCommandLineOption& option) {
    return parser.isSet(option) ? QFileInfo(parser.value(option)).absoluteFilePath()
                                : CleanupModel::defaultModel().localURL();
}

int clean(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption modelOption(QStringLiteral("model"), {}, QStringLiteral("path"));
    parser.addOption(modelOption);
    if (!parser.parse(arguments)) {
        return usage(parser.errorText());
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2) {
        return usage();
    }
    const QString text = textArgument(positional[1]);
    TextCleanupService cleanup(AppSettings::shared(), cleanupModelPath(parser, modelOption));
    const QString result = runToCompletion(cleanup.clean(text));
    // Cleanup hands back the text when the model is missing or fails to
    // load; the command reports that instead of pretending it cleaned.
    if (cleanup.state().kind == TextCleanupService::State::Kind::failed) {
        return fail(cleanup.state().message);
    }
    printText(result);
    return CliCommands::success;
}

int translate(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption modelOption(QStringLiteral("model"), {}, QStringLiteral("path"));
    const QCommandLineOption toOption(QStringLiteral("to"), {}, QStringLiteral("code"));
    const QCommandLineOption fromOption(QStringLiteral("from"), {}, QStringLiteral("code"));
    parser.addOptions({modelOption, toOption, fromOption});
    if (!parser.parse(arguments)) {
        return usage(parser.errorText());
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2 || !parser.isSet(toOption)) {
        return usage();
    }
    const QString text = textArgument(positional[1]);
    TextCleanupService cleanup(AppSettings::shared(), cleanupModelPath(parser, modelOption));
    TranslationService translation(std::make_unique<LlamaTranslationService>(cleanup));
    const std::optional<QString> source =
        parser.isSet(fromOption) ? std::optional<QString>(parser.value(fromOption)) : std::nullopt;
    try {
        printText(runToCompletion(translation.translate(text, parser.value(toOption), source)));
    } catch (const ServiceError& error) {
        return fail(error.description());
    }
    return CliCommands::success;
}

void printEntries(const QList<Transcription>& entries) {
    for (const Transcription& entry : entries) {
        QString text = entry.text;
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        out() << entry.id << '\t'
              << entry.createdAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) << '\t'
              << TranscriptionSources::rawValue(entry.source) << '\t' << entry.language << '\t'
              << entry.mediaName.value_or(QString()) << '\t' << text << '\n';
    }
    out() << Qt::flush;
}

int history(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption formatOption(QStringLiteral("format"), {}, QStringLiteral("format"),
                                          QStringLiteral("txt"));
    parser.addOption(formatOption);
    if (!parser.parse(arguments)) {
        return usage(parser.errorText());
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() < 2) {
        return usage();
    }
    HistoryStore store;
    const QString action = positional[1];
    if (action == QLatin1String("list") && positional.size() == 2) {
        printEntries(store.entries());
        return CliCommands::success;
    }
    if (action == QLatin1String("search") && positional.size() == 3) {
        const QList<Transcription> matches = HistorySearch::filter(store.entries(), positional[2]);
        if (matches.isEmpty()) {
            return fail(HistorySearch::noMatchesMessage(positional[2]));
        }
        printEntries(matches);
        return CliCommands::success;
    }
    if (action == QLatin1String("export") && positional.size() == 3) {
        bool isNumber = false;
        const qint64 id = positional[2].toLongLong(&isNumber);
        const QString format = parser.value(formatOption);
        if (!isNumber || (format != QLatin1String("txt") && format != QLatin1String("srt"))) {
            return usage();
        }
        for (const Transcription& entry : store.entries()) {
            if (entry.id != id) {
                continue;
            }
            if (format == QLatin1String("txt")) {
                printText(entry.text);
                return CliCommands::success;
            }
            if (!entry.segments || entry.segments->isEmpty()) {
                return fail(QStringLiteral("History entry %1 has no timed segments.").arg(id));
            }
            printText(TranscriptFormat::srtText(*entry.segments));
            return CliCommands::success;
        }
        return fail(QStringLiteral("There is no history entry with the id %1.").arg(id));
    }
    return usage();
}

} // namespace

namespace CliCommands {

int run(const QStringList& arguments) {
    if (arguments.size() < 2) {
        return usage();
    }
    const QString command = arguments[1];
    if (command == QLatin1String("transcribe")) {
        return transcribe(arguments);
    }
    if (command == QLatin1String("clean")) {
        return clean(arguments);
    }
    if (command == QLatin1String("translate")) {
        return translate(arguments);
    }
    if (command == QLatin1String("history")) {
        return history(arguments);
    }
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        out() << usageText << Qt::flush;
        return success;
    }
    if (command == QLatin1String("--version")) {
        out() << "murmex-cli " << MURMEX_VERSION << Qt::endl;
        return success;
    }
    return usage(QStringLiteral("Unknown command: %1").arg(command));
}

} // namespace CliCommands
