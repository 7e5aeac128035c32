#pragma once

#include <QString>
#include <qcoro/qcorotask.h>

// Transcript cleanup as the dictation pipeline uses it.
class TextCleanupServiceInterface {
public:
    virtual ~TextCleanupServiceInterface() = default;

    // Loads the cleanup model unless loaded; never throws.
    virtual QCoro::Task<> ensureLoaded() = 0;
    // The text to use: the cleaned text, or `text` itself when cleanup fails
    // or its output is rejected. Never throws.
    virtual QCoro::Task<QString> clean(QString text) = 0;
};
