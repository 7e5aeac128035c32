#include "cli/CliCommands.h"

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

namespace {

const QString usageText =
    QStringLiteral("Usage:\n"
                   "  murmex-cli transcribe FILE [--model PATH] [--language CODE]\n"
                   "                        [--format txt|srt|json|timestamps] [--save]\n"
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
