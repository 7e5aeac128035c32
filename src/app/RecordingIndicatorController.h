#pragma once

#include "app/IndicatorPanel.h"
#include "app/IndicatorState.h"
#include "platform/Clock.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

// Owns the indicator panel: shows the dictation's stage and flashes short
// messages. The panel is created on first use and kept. Main thread only.
class RecordingIndicatorController final : public QObject {
    Q_OBJECT

public:
    using PanelFactory = std::function<std::unique_ptr<IndicatorPanel>()>;

    RecordingIndicatorController(PanelFactory panelFactory, Clock& clock,
                                 QObject* parent = nullptr);
    ~RecordingIndicatorController() override;

    // Shows `state` and brings the panel to the front; cancels the expiry of
    // a flashed message.
    void show(const IndicatorState& state);
    // Changes the content in place; shows the panel if it never was.
    void update(const IndicatorState& state);
    // Shows `message` and hides it after `duration`, unless something was
    // shown in between.
    void flash(const QString& message, Clock::Duration duration);
    void hide();

    bool hasPendingFlash() const { return m_flashToken.has_value(); }

private:
    IndicatorPanel& panel();

    PanelFactory m_panelFactory;
    Clock& m_clock;
    std::unique_ptr<IndicatorPanel> m_panel;
    std::optional<quint64> m_flashToken;
    quint64 m_nextToken = 0;
};
