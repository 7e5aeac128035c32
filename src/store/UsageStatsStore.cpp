#include "store/UsageStatsStore.h"

#include "store/DefaultsStore.h"

#include <algorithm>
#include <cmath>

namespace {

QDateTime startOfDay(const QDateTime& moment, const QTimeZone& zone) {
    return moment.toTimeZone(zone).date().startOfDay(zone);
}

QDateTime fromSecondsSince1970(double seconds) {
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(seconds * 1000.0)),
                                          QTimeZone::utc());
}

} // namespace

UsageStatsStore::UsageStatsStore(DefaultsStore& defaults, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults) {
    m_totalWords = m_defaults.integerValue(Keys::totalWords);
    m_totalRecordingSeconds = m_defaults.doubleValue(Keys::totalRecordingSeconds);
    m_sessionCount = m_defaults.integerValue(Keys::sessionCount);
    m_currentStreak = m_defaults.integerValue(Keys::currentStreak);
    m_bestStreak = m_defaults.integerValue(Keys::bestStreak);
    // Only a number counts; anything else under the key reads as no dictation yet.
    if (const auto stored = m_defaults.object(Keys::lastActiveDay);
        stored && (std::holds_alternative<double>(*stored) ||
                   std::holds_alternative<std::int64_t>(*stored))) {
        m_lastActiveDay = fromSecondsSince1970(m_defaults.doubleValue(Keys::lastActiveDay));
    }
}

void UsageStatsStore::record(std::int64_t words, double seconds, const QDateTime& now,
                             const QTimeZone& zone) {
    m_totalWords += words;
    emit totalWordsChanged(m_totalWords);
    m_totalRecordingSeconds += seconds;
    emit totalRecordingSecondsChanged(m_totalRecordingSeconds);
    m_sessionCount += 1;
    emit sessionCountChanged(m_sessionCount);
    updateStreak(now, zone);
    save();
}

void UsageStatsStore::updateStreak(const QDateTime& now, const QTimeZone& zone) {
    const QDateTime today = startOfDay(now, zone);
    if (m_lastActiveDay) {
        const QDateTime last = startOfDay(*m_lastActiveDay, zone);
        if (last.isValid() && today.isValid()) {
            const qint64 days = last.date().daysTo(today.date());
            if (days == 1) {
                m_currentStreak += 1;
            } else if (days != 0) {
                m_currentStreak = 1;
            }
        }
    } else {
        m_currentStreak = 1;
    }
    emit currentStreakChanged(m_currentStreak);
    m_bestStreak = std::max(m_bestStreak, m_currentStreak);
    emit bestStreakChanged(m_bestStreak);
    m_lastActiveDay = today;
    emit lastActiveDayChanged(m_lastActiveDay);
}

void UsageStatsStore::save() {
    m_defaults.setInteger(Keys::totalWords, m_totalWords);
    m_defaults.setDouble(Keys::totalRecordingSeconds, m_totalRecordingSeconds);
    m_defaults.setInteger(Keys::sessionCount, m_sessionCount);
    m_defaults.setInteger(Keys::currentStreak, m_currentStreak);
    m_defaults.setInteger(Keys::bestStreak, m_bestStreak);
    if (m_lastActiveDay) {
        m_defaults.setDouble(Keys::lastActiveDay,
                             static_cast<double>(m_lastActiveDay->toMSecsSinceEpoch()) / 1000.0);
    }
}

std::optional<double> UsageStatsStore::wordsPerMinute() const {
    if (m_totalRecordingSeconds <= 0.0) {
        return std::nullopt;
    }
    return static_cast<double>(m_totalWords) / (m_totalRecordingSeconds / 60.0);
}

QString UsageStatsStore::wordsPerMinuteText() const {
    const auto speed = wordsPerMinute();
    if (!speed) {
        return QStringLiteral("\u2014");
    }
    return QString::number(static_cast<qlonglong>(std::round(*speed))) + QStringLiteral(" wpm");
}

double UsageStatsStore::timeSavedMinutes() const {
    return std::max(0.0, static_cast<double>(m_totalWords) / typingWordsPerMinute -
                             m_totalRecordingSeconds / 60.0);
}

QString UsageStatsStore::formatMinutes(double minutes) {
    const auto rounded = static_cast<qlonglong>(std::round(minutes));
    if (rounded > 59) {
        return QStringLiteral("%1h %2m").arg(rounded / 60).arg(rounded % 60);
    }
    return QStringLiteral("%1 min").arg(rounded);
}
