#pragma once

#include <QString>
#include <qcoro/qcorotask.h>

// Translation as the dictation pipeline uses it.
class TranslationServiceInterface {
public:
    virtual ~TranslationServiceInterface() = default;

    // Translates `text` into the language `target` (a language code); `source`
    // is the recognised language. Throws a ServiceError on failure.
    virtual QCoro::Task<QString> translate(QString text, QString target, QString source) = 0;
};
