#include "refine/CorrectionLearner.h"

#include "refine/TextUnits.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <limits>
#include <set>
#include <vector>

namespace orv::CorrectionLearner {

namespace {

using namespace orv::textunits;

constexpr auto unicode = QRegularExpression::UseUnicodePropertiesOption;

// Compiled patterns by heard text. Compiling is most of the cost of a substitution; the pattern
// depends on nothing but the heard text, so results are unchanged.
class PatternCache
{
public:
    struct Pattern
    {
        QRegularExpression regex;
    };

    const Pattern *find(const QString &heard)
    {
        auto it = m_patterns.constFind(heard);
        if (it == m_patterns.constEnd()) {
            if (m_patterns.size() >= 4096)
                m_patterns.clear();
            it = m_patterns.insert(heard, compile(heard));
        }
        return it->regex.isValid() ? &*it : nullptr;
    }

private:
    static Pattern compile(const QString &heard)
    {
        static const QRegularExpression whitespace(QStringLiteral("\\s+"), unicode);
        const QStringList pieces = heard.split(whitespace, Qt::SkipEmptyParts);
        if (pieces.isEmpty())
            return {QRegularExpression(QStringLiteral("("))};
        QStringList escaped;
        for (const QString &piece : pieces)
            escaped.append(QRegularExpression::escape(piece));
        QRegularExpression re(QStringLiteral("(?<![\\p{L}\\p{M}\\p{N}_])") + escaped.join(QStringLiteral("\\s+")) +
                                  QStringLiteral("(?![\\p{L}\\p{M}\\p{N}_])"),
                              QRegularExpression::CaseInsensitiveOption | unicode);
        return {re};
    }

    QHash<QString, Pattern> m_patterns;
};

PatternCache &patternCache()
{
    thread_local PatternCache cache;
    return cache;
}

bool splitsCharacter(const QString &text, qsizetype start, qsizetype end)
{
    const auto inside = [&](qsizetype at) {
        return at > 0 && at < text.size() && text.at(at).isLowSurrogate() && text.at(at - 1).isHighSurrogate();
    };
    return inside(start) || inside(end);
}

bool isWellFormed(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!c.isSurrogate())
            continue;
        if (!c.isHighSurrogate() || i + 1 == text.size() || !text.at(i + 1).isLowSurrogate())
            return false;
        ++i;
    }
    return true;
}

QList<Match> matchesIn(const QRegularExpression &re, const QString &text)
{
    QList<Match> result;
    auto it = re.globalMatch(text);
    while (it.hasNext()) {
        const auto match = it.next();
        result.append({match.capturedStart(), match.capturedLength(), QString()});
    }
    return result;
}

// A stretch of the text that an entry wrote in this pass, in UTF-16 units.
struct Span
{
    qsizetype start;
    qsizetype end;
};

// Replaces the matches that split no character and touch no written span, building the new text in one
// forward pass. `written` is sorted and its spans do not overlap; it is moved to the new positions and
// the new spans are merged in, so it stays sorted. Linear in the text, the matches and the spans.
bool replaceMatches(QString &text, const QList<Match> &matches, const QString &replacement, std::vector<Span> &written)
{
    QString out;
    std::vector<Span> moved;
    qsizetype copied = 0; // the text before this is in out
    qsizetype shift = 0;  // how far text after the last replacement has moved
    std::size_t next = 0; // the first written span not yet moved
    bool replaced = false;
    const auto moveSpansBefore = [&](qsizetype position) {
        while (next < written.size() && written[next].end <= position) {
            moved.push_back({written[next].start + shift, written[next].end + shift});
            ++next;
        }
    };
    for (const Match &match : matches) {
        const qsizetype start = match.start;
        const qsizetype end = match.start + match.length;
        moveSpansBefore(start);
        const bool touchesWritten = next < written.size() && written[next].start < end;
        if (touchesWritten || splitsCharacter(text, start, end))
            continue;
        if (!replaced)
            out.reserve(text.size() + std::max<qsizetype>(0, (replacement.size() - match.length) * matches.size()));
        out.append(QStringView(text).mid(copied, start - copied));
        moved.push_back({out.size(), out.size() + replacement.size()});
        out.append(replacement);
        copied = end;
        shift += replacement.size() - match.length;
        replaced = true;
    }
    if (!replaced)
        return false;
    moveSpansBefore(std::numeric_limits<qsizetype>::max());
    out.append(QStringView(text).mid(copied));
    text = std::move(out);
    written = std::move(moved);
    return true;
}

} // namespace

namespace {

// The dictionary as apply() walks it: longest heard text first (stable), and the entries found by the
// first word of their heard text. Built once for each dictionary content, so that a large dictionary is
// sorted and indexed once per change rather than on every dictation, and only the few entries whose first
// word the text holds are compiled and run.
struct DictionaryIndex
{
    struct Entry
    {
        QString heard;
        QString replacement;
    };
    size_t fingerprint = 0;
    qsizetype size = -1;
    std::vector<Entry> entries;
    QHash<QString, std::vector<int>> byFirstWord;
    std::vector<int> everywhere; // entries whose first word is not plain ASCII: tried on every text

    static size_t fingerprintOf(const QList<DictionaryEntry> &dictionary)
    {
        size_t seed = ::qHash(dictionary.size(), size_t(0));
        for (const DictionaryEntry &entry : dictionary)
            seed = qHashMulti(seed, entry.heard, entry.replacement);
        return seed;
    }

    void build(const QList<DictionaryEntry> &dictionary, size_t print)
    {
        fingerprint = print;
        size = dictionary.size();
        entries.clear();
        byFirstWord.clear();
        everywhere.clear();
        std::vector<std::pair<qsizetype, const DictionaryEntry *>> ordered;
        ordered.reserve(dictionary.size());
        for (const DictionaryEntry &entry : dictionary) {
            if (!entry.replacement.isEmpty())
                ordered.emplace_back(graphemeCount(entry.heard), &entry);
        }
        std::stable_sort(ordered.begin(), ordered.end(),
                         [](const auto &a, const auto &b) { return a.first > b.first; });
        entries.reserve(ordered.size());
        for (const auto &[length, entry] : ordered) {
            const int at = int(entries.size());
            entries.push_back({entry->heard, entry->replacement});
            const QString key = foldedLeadingAsciiRun(entry->heard, true);
            if (key.isEmpty())
                everywhere.push_back(at);
            else
                byFirstWord[key].push_back(at);
        }
    }
};

const DictionaryIndex &indexOf(const QList<DictionaryEntry> &dictionary)
{
    thread_local DictionaryIndex index;
    const size_t print = DictionaryIndex::fingerprintOf(dictionary);
    if (index.fingerprint != print || index.size != dictionary.size())
        index.build(dictionary, print);
    return index;
}

} // namespace

QString apply(const QList<DictionaryEntry> &dictionary, const QString &text)
{
    if (dictionary.isEmpty() || text.isEmpty())
        return text;
    const DictionaryIndex &index = indexOf(dictionary);

    // The entries to try, in the index's order: those the text's words name, and those tried everywhere.
    // A replacement brings new words, whose entries further on are tried too.
    std::set<int> pending(index.everywhere.begin(), index.everywhere.end());
    const auto addEntriesNamedIn = [&](const QString &current, int after) {
        for (const QString &run : foldedWordRuns(current, true)) {
            const auto found = index.byFirstWord.constFind(run);
            if (found == index.byFirstWord.constEnd())
                continue;
            for (const int at : *found) {
                if (at > after)
                    pending.insert(at);
            }
        }
    };
    QString current = text;
    addEntriesNamedIn(current, -1);
    bool wellFormed = isWellFormed(current);
    std::vector<Span> written; // what earlier entries wrote in this pass, sorted
    while (!pending.empty()) {
        const int at = *pending.begin();
        pending.erase(pending.begin());
        const DictionaryIndex::Entry &entry = index.entries[std::size_t(at)];
        const PatternCache::Pattern *pattern = patternCache().find(entry.heard);
        if (!pattern)
            continue;
        const QList<Match> matches =
            wellFormed ? matchesIn(pattern->regex, current) : allMatches(pattern->regex, current);
        if (replaceMatches(current, matches, entry.replacement, written)) {
            wellFormed = wellFormed && isWellFormed(entry.replacement);
            addEntriesNamedIn(current, at);
        }
    }
    return current;
}

QStringList words(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("[\\p{L}\\p{M}]+(?:['’][\\p{L}\\p{M}]+)*"), unicode);
    return allMatchedTexts(pattern, text);
}

int editDistance(const QString &a, const QString &b)
{
    QStringList left = graphemes(a);
    QStringList right = graphemes(b);
    for (QString &c : left)
        c = c.normalized(QString::NormalizationForm_D);
    for (QString &c : right)
        c = c.normalized(QString::NormalizationForm_D);
    if (left.isEmpty())
        return int(right.size());
    if (right.isEmpty())
        return int(left.size());

    std::vector<int> row(right.size() + 1);
    for (qsizetype j = 0; j <= right.size(); ++j)
        row[j] = int(j);
    for (qsizetype i = 1; i <= left.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= right.size(); ++j) {
            const int above = row[j];
            const int cost = left[i - 1] == right[j - 1] ? 0 : 1;
            row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + cost});
            diagonal = above;
        }
    }
    return row[right.size()];
}

const QSet<QString> &learningStopWords()
{
    static const QSet<QString> stopWords{
        QStringLiteral("the"),      QStringLiteral("and"),       QStringLiteral("but"),    QStringLiteral("for"),
        QStringLiteral("not"),      QStringLiteral("yes"),       QStringLiteral("now"),    QStringLiteral("today"),
        QStringLiteral("tomorrow"), QStringLiteral("yesterday"), QStringLiteral("can"),    QStringLiteral("cannot"),
        QStringLiteral("will"),     QStringLiteral("would"),     QStringLiteral("should"), QStringLiteral("could"),
        QStringLiteral("was"),      QStringLiteral("were"),      QStringLiteral("this"),   QStringLiteral("that"),
        QStringLiteral("there"),    QStringLiteral("their"),     QStringLiteral("they"),   QStringLiteral("our"),
        QStringLiteral("your"),     QStringLiteral("you"),       QStringLiteral("with"),   QStringLiteral("from"),
        QStringLiteral("into"),     QStringLiteral("have"),      QStringLiteral("has")};
    return stopWords;
}

QList<Correction> corrections(const QString &original, const QString &edited)
{
    if (original == edited)
        return {};
    if (original.size() > maximumLearnedTextUnits || edited.size() > maximumLearnedTextUnits)
        return {};

    const QStringList before = words(original);
    const QStringList after = words(edited);
    if (before.isEmpty() || after.isEmpty())
        return {};

    QStringList beforeCanonical;
    QStringList afterCanonical;
    for (const QString &word : before)
        beforeCanonical.append(word.normalized(QString::NormalizationForm_D));
    for (const QString &word : after)
        afterCanonical.append(word.normalized(QString::NormalizationForm_D));

    const qsizetype shorter = std::min(before.size(), after.size());
    qsizetype prefix = 0;
    while (prefix < shorter && beforeCanonical[prefix] == afterCanonical[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix &&
           beforeCanonical[before.size() - 1 - suffix] == afterCanonical[after.size() - 1 - suffix])
        ++suffix;

    const qsizetype heardCount = before.size() - prefix - suffix;
    const qsizetype replacementCount = after.size() - prefix - suffix;
    if (heardCount < 1 || heardCount > maximumSpanWords || replacementCount < 1 || replacementCount > maximumSpanWords)
        return {};

    const QStringList heardWords = before.mid(prefix, heardCount);
    const QStringList replacementWords = after.mid(prefix, replacementCount);
    const QString heard = heardWords.join(QLatin1Char(' '));
    const QString replacement = replacementWords.join(QLatin1Char(' '));

    static const QRegularExpression whitespace(QStringLiteral("\\s"), unicode);
    QString heardFolded = folded(heard);
    QString replacementFolded = folded(replacement);
    heardFolded.remove(whitespace);
    replacementFolded.remove(whitespace);
    const qsizetype heardLength = graphemeCount(heardFolded);
    const qsizetype replacementLength = graphemeCount(replacementFolded);
    for (const qsizetype length : {heardLength, replacementLength}) {
        if (length < minimumFoldedCharacters || length > maximumFoldedCharacters)
            return {};
    }

    if (!canonicallyEqual(heardFolded, replacementFolded)) {
        const QSet<QString> &stopWords = learningStopWords();
        for (const QStringList *span : {&heardWords, &replacementWords}) {
            for (const QString &word : *span) {
                if (stopWords.contains(word.toLower()))
                    return {};
            }
        }
        const int distance = editDistance(heardFolded, replacementFolded);
        const qsizetype limit = std::min(heardLength, replacementLength) / 3;
        if (distance > limit)
            return {};
    }

    if (heard == replacement)
        return {};
    return {Correction{heard, replacement}};
}

} // namespace orv::CorrectionLearner
