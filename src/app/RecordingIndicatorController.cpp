#include "app/RecordingIndicatorController.h"

RecordingIndicatorController::RecordingIndicatorController(PanelFactory panelFactory, Clock& clock,
                                                           QObject* parent)
    : QObject(parent)
    , m_panelFactory(std::move(panelFactory))
    , m_clock(clock) {}

RecordingIndicatorController::~RecordingIndicatorController() = default;

IndicatorPanel& RecordingIndicatorController::panel() {
    if (!m_panel) {
        m_panel = m_panelFactory();
        m_panel->setState(IndicatorState::recording());
    }
    return *m_panel;
}

void RecordingIndicatorController::show(const IndicatorState& state) {
    m_flashToken.reset();
    IndicatorPanel& target = panel();
    target.setState(state);
    target.showOnTop();
}

void RecordingIndicatorController::update(const IndicatorState& state) {
    if (!m_panel) {
        show(state);
        return;
    }
    m_panel->setState(state);
}

void RecordingIndicatorController::flash(const QString& message, Clock::Duration duration) {
    show(IndicatorState::info(message));
    const quint64 token = ++m_nextToken;
    m_flashToken = token;
    m_clock.schedule(duration, this, [this, token] {
        if (m_flashToken == token) {
            m_flashToken.reset();
            if (m_panel) {
                m_panel->hide();
            }
        }
    });
}

void RecordingIndicatorController::hide() {
    if (m_panel) {
        m_panel->hide();
    }
}
