#include "llm/TranslationService.h"

#include "llm/TextCleanupService.h"
#include "llm/TranslationError.h"

#include <QFileInfo>
#include <QPointer>

TranslationService::TranslationService(std::unique_ptr<LlamaTranslationService> llamaService,
                                       QObject* parent)
    : QObject(parent)
    , m_llamaService(std::move(llamaService)) {}

TranslationService::~TranslationService() = default;

void TranslationService::setState(const State& state) {
    m_state = state;
    emit stateChanged(m_state);
}

QCoro::Task<QString> TranslationService::translate(QString text, QString target, QString source) {
    std::optional<QString> givenSource;
    if (!source.isEmpty()) {
        givenSource = std::move(source);
    }
    return translate(std::move(text), std::move(target), std::move(givenSource));
}

QCoro::Task<QString> TranslationService::translate(QString text, QString target,
                                                   std::optional<QString> source) {
    const QPointer<TranslationService> self(this);
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        co_return QString(text);
    }
    setState(State::translating());

    if (!QFileInfo::exists(m_llamaService->cleanup().modelPath())) {
        setState(State::failed(TranslationError::engineUnavailableMessage));
        throw TranslationError::engineUnavailable(TranslationError::engineUnavailableMessage);
    }

    QString result;
    try {
        auto request = m_llamaService->translate(trimmed, target, source);
        result = co_await std::move(request);
    } catch (const ServiceError& error) {
        if (self) {
            self->setState(State::failed(error.description()));
        }
        throw;
    } catch (const std::exception& error) {
        if (self) {
            self->setState(State::failed(QString::fromUtf8(error.what())));
        }
        throw;
    }
    if (!self) {
        co_return result.trimmed();
    }
    result = result.trimmed();
    if (result.isEmpty()) {
        setState(State::failed(TranslationError::emptyResult().description()));
        throw TranslationError::emptyResult();
    }
    if (m_state.kind == State::Kind::translating) {
        setState(State::idle());
    }
    co_return QString(result);
}
