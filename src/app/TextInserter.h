#pragma once

#include <QString>

// Puts text at the text cursor of the focused application.
class TextInserter {
public:
    virtual ~TextInserter() = default;
    virtual void insertText(const QString& text) = 0;
};
