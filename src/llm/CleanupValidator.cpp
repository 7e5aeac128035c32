#include "llm/CleanupValidator.h"

#include "common/Logging.h"
#include "common/ServiceError.h"
#include "common/TextMetrics.h"
#include "llm/TextCleanupService.h"
#include "llm/TextGenerator.h"

#include <QRegularExpression>

namespace CleanupValidator {

const QString judgeSystemPrompt = QStringLiteral(
    "/no_think\n"
    "You compare an ORIGINAL transcription with a CLEANED version. The CLEANED\n"
    "version is only allowed to differ by grammar, punctuation, capitalization,\n"
    "filler-word removal, or translation. Decide whether CLEANED introduces any new\n"
    "information, answers, or content that is NOT a cleaned/translated restatement of\n"
    "ORIGINAL. Reply with EXACTLY one word: CLEAN or ALTERED.");

const QStringList riskyPhrases = {
    QStringLiteral("can you"),   QStringLiteral("could you"), QStringLiteral("would you"),
    QStringLiteral("please"),    QStringLiteral("write"),     QStringLiteral("tell me"),
    QStringLiteral("what"),      QStringLiteral("how"),       QStringLiteral("why"),
    QStringLiteral("who"),       QStringLiteral("where"),     QStringLiteral("when"),
    QStringLiteral("give me"),   QStringLiteral("make"),      QStringLiteral("translate"),
    QStringLiteral("summarize"), QStringLiteral("summarise"), QStringLiteral("explain"),
    QStringLiteral("answer"),    QStringLiteral("list"),      QStringLiteral("describe"),
    QStringLiteral("define"),    QStringLiteral("create"),    QStringLiteral("generate"),
};

namespace {

struct RatioBounds {
    double lowest;
    double highest;
};

constexpr RatioBounds cleanupBounds{0.5, 2.5};
constexpr RatioBounds translationBounds{0.4, 3.0};

// Trims spaces and tabs only: sentence pieces never hold line feeds, and
// other white space is part of the words.
QString trimSpacesAndTabs(const QString& text) {
    qsizetype start = 0;
    qsizetype end = text.size();
    const auto isBlank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (start < end && isBlank(text[start])) {
        ++start;
    }
    while (end > start && isBlank(text[end - 1])) {
        --end;
    }
    return text.mid(start, end - start);
}

} // namespace

bool lengthTripwire(const QString& input, const QString& output, bool isTranslation) {
    if (output.isEmpty()) {
        return false;
    }
    const auto outputLength = static_cast<double>(TextMetrics::characterCount(output));
    const auto inputLength = static_cast<double>(TextMetrics::characterCount(input));
    const double ratio = inputLength >= 1 ? outputLength / inputLength : outputLength;
    const RatioBounds bounds = isTranslation ? translationBounds : cleanupBounds;
    return ratio >= bounds.lowest && ratio <= bounds.highest;
}

bool isRisky(const QString& input) {
    if (input.contains(QLatin1Char('?'))) {
        return true;
    }
    static const QRegularExpression separators(QStringLiteral("[.!?\\n]"));
    const QStringList pieces = input.toLower().split(separators, Qt::SkipEmptyParts);
    for (const QString& rawPiece : pieces) {
        const QString piece = trimSpacesAndTabs(rawPiece);
        if (piece.isEmpty()) {
            continue;
        }
        for (const QString& phrase : riskyPhrases) {
            if (piece == phrase || piece.startsWith(phrase + QLatin1Char(' '))) {
                return true;
            }
        }
    }
    return false;
}

QString judgeUserMessage(const QString& input, const QString& output) {
    return QStringLiteral("ORIGINAL:\n") + input + QStringLiteral("\n\nCLEANED:\n") + output;
}

bool parseVerdict(const QString& answer) {
    const QString verdict = answer.trimmed().toLower();
    if (verdict.contains(QLatin1String("altered"))) {
        return false;
    }
    return verdict.startsWith(QLatin1String("clean"));
}

QCoro::Task<bool> judge(std::shared_ptr<TextGenerator> model, QString input, QString output) {
    if (!model) {
        co_return false;
    }
    QString answer;
    try {
        auto request = model->generate(judgeSystemPrompt, {}, judgeUserMessage(input, output),
                                       judgeMaxNewTokens, 0.0f);
        answer = co_await std::move(request);
    } catch (const ServiceError& error) {
        qCInfo(lcCleanup).noquote() << QStringLiteral("Judge call failed; treating as ALTERED: %1")
                                           .arg(error.description());
        co_return false;
    } catch (const std::exception& error) {
        qCInfo(lcCleanup).noquote() << QStringLiteral("Judge call failed; treating as ALTERED: %1")
                                           .arg(QString::fromUtf8(error.what()));
        co_return false;
    }
    const bool verdict = parseVerdict(TextCleanupService::sanitizeOutput(answer));
    qCInfo(lcCleanup).noquote() << QStringLiteral("Judge verdict: %1")
                                       .arg(verdict ? QStringLiteral("CLEAN")
                                                    : QStringLiteral("ALTERED"));
    co_return verdict;
}

QCoro::Task<bool> validateOutput(std::shared_ptr<TextGenerator> judgeModel, bool alwaysJudge,
                                 QString input, QString output, bool isTranslation) {
    if (!lengthTripwire(input, output, isTranslation)) {
        qCInfo(lcCleanup).noquote() << "Length tripwire rejected output";
        co_return false;
    }
    const bool risky = isRisky(input);
    if (!risky && !alwaysJudge) {
        qCInfo(lcCleanup).noquote() << "Judge skipped (input not risky)";
        co_return true;
    }
    qCInfo(lcCleanup).noquote() << QStringLiteral("Judge firing (alwaysJudge=%1, risky=%2)")
                                       .arg(alwaysJudge ? QStringLiteral("true")
                                                        : QStringLiteral("false"),
                                            risky ? QStringLiteral("true")
                                                  : QStringLiteral("false"));
    auto verdict = judge(std::move(judgeModel), input, output);
    const bool clean = co_await std::move(verdict);
    co_return clean;
}

} // namespace CleanupValidator
