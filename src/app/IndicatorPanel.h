#pragma once

#include "app/IndicatorState.h"

// The floating window that draws an IndicatorState. It never takes the focus
// and lets clicks through.
class IndicatorPanel {
public:
    virtual ~IndicatorPanel() = default;

    // Replaces the drawn content without moving or raising the window.
    virtual void setState(const IndicatorState& state) = 0;
    // Places the window centred, just below the top of the screen's available
    // area, and brings it to the front whichever application is active.
    virtual void showOnTop() = 0;
    // Takes the window off screen; it stays allocated.
    virtual void hide() = 0;
};
