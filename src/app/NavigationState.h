#pragma once

#include <QList>
#include <QObject>
#include <QString>

// The sections of the main window.
enum class AppSection { home, transcribe, history, settings };

namespace AppSections {
// In sidebar order.
const QList<AppSection>& all();
// "Home", "Transcribe", "History", "Settings": also the section's identity.
QString rawValue(AppSection section);
} // namespace AppSections

// Which section the main window shows. Main thread only.
class NavigationState final : public QObject {
    Q_OBJECT

public:
    explicit NavigationState(QObject* parent = nullptr)
        : QObject(parent) {}

    AppSection section() const { return m_section; }
    void setSection(AppSection section) {
        m_section = section;
        emit sectionChanged(section);
    }

signals:
    void sectionChanged(AppSection section);

private:
    AppSection m_section = AppSection::home;
};
