#include "core/AppModel.h"

#include "refine/CorrectionLearner.h"

#include <QTextBoundaryFinder>

#include <algorithm>
#include <limits>

namespace orv {

qsizetype graphemeCount(const QString &text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

void AppModel::dropUneditableBaselines()
{
    QSet<QUuid> editable;
    for (const TranscriptRecord &record : std::as_const(m_history))
        editable.insert(record.id);
    if (m_lastResult)
        editable.insert(m_lastResult->id);
    m_correctionBaselines.removeIf([&](const auto &baseline) { return !editable.contains(baseline.key()); });
}

void AppModel::saveLibrary()
{
    const auto saved = m_store->save(AppStore::Snapshot{m_preferences, m_history, m_dictionary});
    if (!saved)
        m_errorMessage = QStringLiteral("Could not save your local library: ") + saved.error().description();
}

QStringList AppModel::applyCorrection(const QString &original, const QString &edited)
{
    if (!m_preferences.autoLearn)
        return {};
    const QList<CorrectionLearner::Correction> corrections = CorrectionLearner::corrections(original, edited);
    if (corrections.isEmpty())
        return {};
    QStringList replacements;
    QStringList pairs;
    for (const CorrectionLearner::Correction &correction : corrections) {
        learn(correction.heard, correction.replacement, true);
        replacements.append(correction.replacement);
        pairs.append(correction.heard + QStringLiteral(" → ") + correction.replacement);
    }
    m_status = QStringLiteral("Learned ") + replacements.join(QStringLiteral(", "));
    saveLibrary();
    Q_EMIT changed();
    return pairs;
}

void AppModel::editTranscript(QUuid recordID, QString text)
{
    if (text.trimmed().isEmpty())
        return;
    std::optional<QString> baseline;
    if (const auto it = m_correctionBaselines.constFind(recordID); it != m_correctionBaselines.constEnd()) {
        baseline = *it;
    } else if (const auto record = std::find_if(m_history.cbegin(), m_history.cend(),
                                                [&](const TranscriptRecord &r) { return r.id == recordID; });
               record != m_history.cend()) {
        baseline = record->output;
    } else if (m_lastResult && m_lastResult->id == recordID) {
        baseline = m_lastResult->output;
    }
    m_lastLearning.clear();
    if (baseline && *baseline != text) {
        const QStringList learned = applyCorrection(*baseline, text);
        if (!learned.isEmpty())
            m_lastLearning = QStringLiteral("Learned: ") + learned.join(QStringLiteral(", "));
        else if (!m_preferences.autoLearn)
            m_lastLearning = QStringLiteral("Nothing learned: Learn corrections is off in Settings.");
        else
            m_lastLearning = QStringLiteral("Nothing learned: several words changed. Correct one word or a short "
                                            "phrase at a time to teach its spelling.");
    }

    m_correctionBaselines.insert(recordID, text);
    for (TranscriptRecord &record : m_history) {
        if (record.id == recordID) {
            record.output = text;
            break;
        }
    }
    if (m_lastResult && m_lastResult->id == recordID)
        m_lastResult->output = text;
    saveLibrary();
    Q_EMIT changed();
}

// ---- Library and onboarding editing ----

void AppModel::learn(const QString &heard, const QString &replacement, bool automatic)
{
    const auto existing = std::find_if(m_dictionary.begin(), m_dictionary.end(), [&](const DictionaryEntry &entry) {
        return entry.heard.compare(heard, Qt::CaseInsensitive) == 0;
    });
    if (existing != m_dictionary.end()) {
        existing->replacement = replacement;
        if (existing->occurrenceCount < std::numeric_limits<qint64>::max())
            ++existing->occurrenceCount;
        existing->modifiedAt = m_scheduler.wallNow();
        existing->automatic = existing->automatic && automatic;
    } else {
        m_dictionary.prepend(
            DictionaryEntry{QUuid::createUuid(), heard, replacement, 1, m_scheduler.wallNow(), automatic});
    }
    if (m_dictionary.size() > dictionaryLimit)
        m_dictionary.resize(dictionaryLimit);
}

void AppModel::addDictionaryEntry(const QString &heard, const QString &replacement)
{
    QString trimmedHeard = heard.trimmed();
    const QString trimmedReplacement = replacement.trimmed();
    if (trimmedReplacement.isEmpty() || graphemeCount(trimmedHeard) > dictionaryFieldLimit ||
        graphemeCount(trimmedReplacement) > dictionaryFieldLimit)
        return;
    if (trimmedHeard.isEmpty())
        trimmedHeard = trimmedReplacement;
    learn(trimmedHeard, trimmedReplacement, false);
    saveLibrary();
    Q_EMIT changed();
}

void AppModel::deleteDictionaryEntry(QUuid id)
{
    m_dictionary.removeIf([&](const DictionaryEntry &entry) { return entry.id == id; });
    saveLibrary();
    Q_EMIT changed();
}

void AppModel::deleteRecord(QUuid id)
{
    m_history.removeIf([&](const TranscriptRecord &record) { return record.id == id; });
    m_correctionBaselines.remove(id);
    saveLibrary();
    Q_EMIT changed();
}

void AppModel::clearHistory()
{
    m_history.clear();
    m_correctionBaselines.clear();
    m_lastResult.reset();
    saveLibrary();
    Q_EMIT changed();
}

void AppModel::setRetainHistory(bool retain)
{
    m_preferences.retainHistory = retain;
    if (!retain) {
        m_history.clear();
        m_correctionBaselines.clear();
    }
    saveLibrary();
    Q_EMIT changed();
}

void AppModel::resetOnboarding()
{
    cancelDictation();
    m_onboarding.reset();
    Q_EMIT changed();
}

void AppModel::completeOnboarding()
{
    m_onboarding.complete();
    Q_EMIT changed();
}

void AppModel::advanceOnboarding()
{
    const bool ready = permissions().microphoneStatus() == AuthorizationStatus::authorized &&
                       permissions().speechStatus() == AuthorizationStatus::authorized;
    m_onboarding.advance(ready);
    Q_EMIT changed();
}
} // namespace orv
