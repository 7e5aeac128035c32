#pragma once

#include <QList>
#include <QString>
#include <qcoro/qcorotask.h>

// One example exchange shown to the model before the real message.
struct ExampleExchange {
    QString input;
    QString output;

    bool operator==(const ExampleExchange&) const = default;
};

// A loaded language model that answers one chat-style request at a time.
// LlamaContext is the real one; tests script the answers.
class TextGenerator {
public:
    virtual ~TextGenerator() = default;

    // The model's answer to `userMessage` after the system prompt and the
    // examples: at most `maxNewTokens` tokens, greedy when `temperature` is 0
    // or below. Throws LlamaError.
    virtual QCoro::Task<QString> generate(QString systemPrompt, QList<ExampleExchange> examples,
                                          QString userMessage, int maxNewTokens,
                                          float temperature) = 0;
};
