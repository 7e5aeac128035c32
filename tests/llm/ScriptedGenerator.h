#pragma once

// A language model whose answers the test writes in advance, behind the same
// interface as the real one, for tests of the logic that reads what a model
// says.

#include "Fakes.h"
#include "llm/LlamaError.h"
#include "llm/TextGenerator.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <vector>

class ScriptedGenerator final : public TextGenerator {
public:
    struct Request {
        QString systemPrompt;
        QList<ExampleExchange> examples;
        QString userMessage;
        int maxNewTokens = 0;
        float temperature = 0.0f;
    };
    // Produces one answer; may throw to act as a failed generation.
    using Answer = std::function<QString(const Request&)>;

    static Answer say(const QString& text) {
        return [text](const Request&) { return text; };
    }
    static Answer fail(const LlamaError& error) {
        return [error](const Request&) -> QString { throw error; };
    }

    // Answers in order, one per request; a request beyond the script fails
    // the test and gets an empty answer.
    std::deque<Answer> script;
    std::vector<Request> requests;
    // Runs when a request arrives, before it is answered.
    std::function<void(const Request&)> onRequest;
    // While closed, requests wait.
    Gate gate;

    void then(Answer answer) { script.push_back(std::move(answer)); }

    QCoro::Task<QString> generate(QString systemPrompt, QList<ExampleExchange> examples,
                                  QString userMessage, int maxNewTokens,
                                  float temperature) override {
        Request request{systemPrompt, examples, userMessage, maxNewTokens, temperature};
        requests.push_back(request);
        if (onRequest) {
            onRequest(request);
        }
        co_await gate.pass();
        if (script.empty()) {
            ADD_FAILURE() << "Unscripted request with system prompt: "
                          << systemPrompt.left(40).toStdString();
            co_return QString();
        }
        const Answer answer = script.front();
        script.pop_front();
        co_return answer(request);
    }
};
