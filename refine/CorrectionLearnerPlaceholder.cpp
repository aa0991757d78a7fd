// Stands in for the correction learner until the refinement subsystem provides it: whole-word,
// case-insensitive substitution (longest heard first) and a one-to-three-word changed span as the
// learned pair, without the similarity and stop-word rules.
#include "refine/CorrectionLearner.h"

#include <QRegularExpression>

#include <algorithm>

namespace orv::CorrectionLearner {

namespace {

QStringList wordsOf(const QString &text)
{
    static const QRegularExpression word(QStringLiteral("[\\p{L}\\p{M}]+(?:['’][\\p{L}\\p{M}]+)*"));
    QStringList words;
    for (auto it = word.globalMatch(text); it.hasNext();)
        words.append(it.next().captured());
    return words;
}

} // namespace

QString apply(const QList<DictionaryEntry> &dictionary, const QString &text)
{
    QList<DictionaryEntry> ordered = dictionary;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const auto &a, const auto &b) { return a.heard.size() > b.heard.size(); });
    QString result = text;
    for (const DictionaryEntry &entry : ordered) {
        const QStringList words = entry.heard.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        if (words.isEmpty() || entry.replacement.isEmpty())
            continue;
        QStringList escaped;
        for (const QString &w : words)
            escaped.append(QRegularExpression::escape(w));
        const QRegularExpression pattern(QStringLiteral("(?<![\\p{L}\\p{M}\\p{N}_])") +
                                             escaped.join(QStringLiteral("\\s+")) +
                                             QStringLiteral("(?![\\p{L}\\p{M}\\p{N}_])"),
                                         QRegularExpression::CaseInsensitiveOption);
        QString replaced;
        qsizetype last = 0;
        for (auto it = pattern.globalMatch(result); it.hasNext();) {
            const auto match = it.next();
            replaced += result.mid(last, match.capturedStart() - last) + entry.replacement;
            last = match.capturedEnd();
        }
        result = replaced + result.mid(last);
    }
    return result;
}

QList<Correction> corrections(const QString &original, const QString &edited)
{
    if (original == edited)
        return {};
    const QStringList before = wordsOf(original);
    const QStringList after = wordsOf(edited);
    if (before.isEmpty() || after.isEmpty())
        return {};
    const qsizetype shorter = std::min(before.size(), after.size());
    qsizetype prefix = 0;
    while (prefix < shorter && before[prefix] == after[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix && before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    const QStringList heard = before.mid(prefix, before.size() - prefix - suffix);
    const QStringList replacement = after.mid(prefix, after.size() - prefix - suffix);
    if (heard.isEmpty() || replacement.isEmpty() || heard.size() > 3 || replacement.size() > 3)
        return {};
    if (heard == replacement)
        return {};
    return {Correction{heard.join(QLatin1Char(' ')), replacement.join(QLatin1Char(' '))}};
}

} // namespace orv::CorrectionLearner
