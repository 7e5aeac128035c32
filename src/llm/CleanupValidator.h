#pragma once

#include <QString>
#include <QStringList>
#include <qcoro/qcorotask.h>

#include <memory>

class TextGenerator;

// Decides whether a model output is an acceptable restatement of its input:
// a length-ratio tripwire, a heuristic that marks questions and commands as
// risky, and for risky inputs (or always, when asked) a second model pass
// that answers CLEAN or ALTERED. Never throws; every doubt is a rejection.
namespace CleanupValidator {

extern const QString judgeSystemPrompt;
// Sentence openings that make an input look like a question or a command.
extern const QStringList riskyPhrases;

constexpr int judgeMaxNewTokens = 4;

// Accepts or rejects `output` (already sanitised) for `input` (trimmed).
// `judgeModel` is the model loaded at the time of the check; without one a
// judge verdict counts as ALTERED.
QCoro::Task<bool> validateOutput(std::shared_ptr<TextGenerator> judgeModel, bool alwaysJudge,
                                 QString input, QString output, bool isTranslation);

// True when the output's length (in user-perceived characters) is within
// the accepted ratio of the input's.
bool lengthTripwire(const QString& input, const QString& output, bool isTranslation);

// True when the input contains a question mark or one of its sentences
// starts with a risky phrase.
bool isRisky(const QString& input);

// Asks the model whether `output` is a clean restatement of `input`.
QCoro::Task<bool> judge(std::shared_ptr<TextGenerator> model, QString input, QString output);

QString judgeUserMessage(const QString& input, const QString& output);

// True for an answer that starts with "clean" and nowhere says "altered".
bool parseVerdict(const QString& answer);

} // namespace CleanupValidator
