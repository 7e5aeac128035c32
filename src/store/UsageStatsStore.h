#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimeZone>

#include <cstdint>
#include <optional>

class DefaultsStore;

// Lifetime dictation statistics: words, time spoken, number of dictations and
// the run of consecutive local days with at least one dictation. Kept in the
// defaults store and updated once per finished dictation. Main thread only.
class UsageStatsStore final : public QObject {
    Q_OBJECT

public:
    struct Keys {
        static inline const QString totalWords = QStringLiteral("stats.totalWords");
        static inline const QString totalRecordingSeconds =
            QStringLiteral("stats.totalRecordingSeconds");
        static inline const QString sessionCount = QStringLiteral("stats.sessionCount");
        static inline const QString currentStreak = QStringLiteral("stats.currentStreak");
        static inline const QString bestStreak = QStringLiteral("stats.bestStreak");
        static inline const QString lastActiveDay = QStringLiteral("stats.lastActiveDay");
    };

    // Typing speed the time saved is measured against.
    static constexpr double typingWordsPerMinute = 40.0;

    explicit UsageStatsStore(DefaultsStore& defaults, QObject* parent = nullptr);

    std::int64_t totalWords() const { return m_totalWords; }
    double totalRecordingSeconds() const { return m_totalRecordingSeconds; }
    std::int64_t sessionCount() const { return m_sessionCount; }
    std::int64_t currentStreak() const { return m_currentStreak; }
    std::int64_t bestStreak() const { return m_bestStreak; }
    // Local midnight starting the day of the latest dictation.
    std::optional<QDateTime> lastActiveDay() const { return m_lastActiveDay; }

    // Counts one dictation of `words` words and `seconds` of audio made at
    // `now`; days are those of `zone`. Saves at once.
    void record(std::int64_t words, double seconds, const QDateTime& now,
                const QTimeZone& zone = QTimeZone::systemTimeZone());
    // The streak step of record(): same day keeps, next day extends, any
    // other distance (a gap, or a clock set back) restarts at 1.
    void updateStreak(const QDateTime& now, const QTimeZone& zone = QTimeZone::systemTimeZone());
    void save();

    // Words per minute of speech; none before any recording time.
    std::optional<double> wordsPerMinute() const;
    // "150 wpm", or "—" before any recording time.
    QString wordsPerMinuteText() const;
    // Minutes a 40 wpm typist would need beyond the minutes spent speaking.
    double timeSavedMinutes() const;
    // "9 min", or "2h 5m" from 60 minutes on.
    static QString formatMinutes(double minutes);

signals:
    void totalWordsChanged(std::int64_t value);
    void totalRecordingSecondsChanged(double value);
    void sessionCountChanged(std::int64_t value);
    void currentStreakChanged(std::int64_t value);
    void bestStreakChanged(std::int64_t value);
    void lastActiveDayChanged(const std::optional<QDateTime>& value);

private:
    DefaultsStore& m_defaults;
    std::int64_t m_totalWords = 0;
    double m_totalRecordingSeconds = 0.0;
    std::int64_t m_sessionCount = 0;
    std::int64_t m_currentStreak = 0;
    std::int64_t m_bestStreak = 0;
    std::optional<QDateTime> m_lastActiveDay;
};
