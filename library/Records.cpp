#include "library/Records.h"

#include "base/PlatformText.h"

#include <QJsonValue>

#include <cmath>

namespace orv {

namespace {

// 2001-01-01 00:00:00 UTC in milliseconds since the Unix epoch.
constexpr qint64 referenceEpochMSecs = 978307200000LL;
// About ±300000 years: far beyond any real timestamp, well inside what QDateTime represents.
constexpr double timestampLimitSeconds = 1.0e13;

QString quotedName(const QString &text)
{
    return QStringLiteral("“") + text + QStringLiteral("”");
}

// Reads the members of one JSON object, remembering the first failure with the object's name in it.
// 8-4-4-4-12 hexadecimal digits, nothing around them.
bool isCanonicalUuid(const QString &text)
{
    if (text.size() != 36)
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != u'-')
                return false;
        } else if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'))) {
            return false;
        }
    }
    return true;
}

class MemberReader
{
public:
    MemberReader(const QJsonObject &object, QString where) : m_object(object), m_where(std::move(where)) {}

    bool failed() const { return m_error.has_value(); }
    DecodeError error() const { return DecodeError{*m_error}; }

    QString string(const QString &name)
    {
        const QJsonValue value = member(name);
        if (failed())
            return {};
        if (!value.isString())
            return fail(name, QStringLiteral("is not a string")), QString();
        return value.toString();
    }

    bool boolean(const QString &name)
    {
        const QJsonValue value = member(name);
        if (failed())
            return false;
        if (!value.isBool())
            return fail(name, QStringLiteral("is not true or false")), false;
        return value.toBool();
    }

    double number(const QString &name)
    {
        const QJsonValue value = member(name);
        if (failed())
            return 0;
        if (!value.isDouble())
            return fail(name, QStringLiteral("is not a number")), 0.0;
        return value.toDouble();
    }

    qint64 integer(const QString &name)
    {
        const QJsonValue value = member(name);
        if (failed())
            return 0;
        // toInteger answers its fallback for fractions and out-of-range values; two fallbacks tell them apart.
        const qint64 first = value.toInteger(0);
        if (!value.isDouble() || first != value.toInteger(1))
            return fail(name, QStringLiteral("is not a whole number")), 0;
        return first;
    }

    QUuid uuid(const QString &name)
    {
        const QString text = string(name);
        if (failed())
            return {};
        if (!isCanonicalUuid(text))
            return fail(name, QStringLiteral("is not a valid UUID")), QUuid();
        return QUuid::fromString(text);
    }

    QDateTime timestamp(const QString &name)
    {
        const double seconds = number(name);
        if (failed())
            return {};
        if (!(std::abs(seconds) < timestampLimitSeconds))
            return fail(name, QStringLiteral("is not a usable timestamp")), QDateTime();
        return dateFromReferenceSeconds(seconds);
    }

    DictationMode mode(const QString &name)
    {
        const QString raw = string(name);
        if (failed())
            return DictationMode::clean;
        const auto mode = dictationModeFromRaw(raw);
        if (!mode)
            return fail(name, QStringLiteral("is not one of “Verbatim”, “Clean” or “Structured”")),
                   DictationMode::clean;
        return *mode;
    }

private:
    QJsonValue member(const QString &name)
    {
        if (failed())
            return {};
        const auto it = m_object.constFind(name);
        if (it == m_object.constEnd()) {
            m_error = QStringLiteral("the member %1 of %2 is missing").arg(quotedName(name), m_where);
            return {};
        }
        return it.value();
    }

    void fail(const QString &name, const QString &problem)
    {
        if (!m_error)
            m_error = QStringLiteral("the member %1 of %2 %3").arg(quotedName(name), m_where, problem);
    }

    const QJsonObject &m_object;
    QString m_where;
    std::optional<QString> m_error;
};

} // namespace

QString rawValue(DictationMode mode)
{
    switch (mode) {
    case DictationMode::verbatim:
        return QStringLiteral("Verbatim");
    case DictationMode::clean:
        return QStringLiteral("Clean");
    case DictationMode::structured:
        return QStringLiteral("Structured");
    }
    return {};
}

std::optional<DictationMode> dictationModeFromRaw(const QString &raw)
{
    for (DictationMode mode : allDictationModes) {
        if (rawValue(mode) == raw)
            return mode;
    }
    return std::nullopt;
}

QString modeDescription(DictationMode mode)
{
    switch (mode) {
    case DictationMode::verbatim:
        return QStringLiteral("Keep recognized words, %1’s automatic punctuation, and your dictionary corrections.")
            .arg(platform::recognizerName());
    case DictationMode::clean:
        return QStringLiteral("Clean up punctuation, grammar, and filler words while preserving your meaning.");
    case DictationMode::structured:
        return QStringLiteral("Add paragraphs and lists where useful, while preserving your meaning.");
    }
    return {};
}

double referenceSeconds(const QDateTime &date)
{
    return double(date.toMSecsSinceEpoch() - referenceEpochMSecs) / 1000.0;
}

QDateTime dateFromReferenceSeconds(double seconds)
{
    const auto msecs = static_cast<qint64>(std::llround(seconds * 1000.0));
    return QDateTime::fromMSecsSinceEpoch(msecs + referenceEpochMSecs, Qt::UTC);
}

QString uuidString(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

QJsonObject toJson(const Preferences &preferences)
{
    return QJsonObject{
        {QStringLiteral("localeIdentifier"), preferences.localeIdentifier},
        {QStringLiteral("mode"), rawValue(preferences.mode)},
        {QStringLiteral("autoLearn"), preferences.autoLearn},
        {QStringLiteral("retainHistory"), preferences.retainHistory},
    };
}

QJsonObject toJson(const TranscriptRecord &record)
{
    return QJsonObject{
        {QStringLiteral("id"), uuidString(record.id)},   {QStringLiteral("date"), referenceSeconds(record.date)},
        {QStringLiteral("original"), record.original},   {QStringLiteral("output"), record.output},
        {QStringLiteral("duration"), record.duration},   {QStringLiteral("applicationName"), record.applicationName},
        {QStringLiteral("formatter"), record.formatter},
    };
}

QJsonObject toJson(const DictionaryEntry &entry)
{
    return QJsonObject{
        {QStringLiteral("id"), uuidString(entry.id)},
        {QStringLiteral("heard"), entry.heard},
        {QStringLiteral("replacement"), entry.replacement},
        {QStringLiteral("occurrenceCount"), entry.occurrenceCount},
        {QStringLiteral("modifiedAt"), referenceSeconds(entry.modifiedAt)},
        {QStringLiteral("automatic"), entry.automatic},
    };
}

Expected<Preferences, DecodeError> preferencesFromJson(const QJsonObject &object, const QString &where)
{
    MemberReader read(object, where);
    Preferences preferences;
    preferences.localeIdentifier = read.string(QStringLiteral("localeIdentifier"));
    preferences.mode = read.mode(QStringLiteral("mode"));
    preferences.autoLearn = read.boolean(QStringLiteral("autoLearn"));
    preferences.retainHistory = read.boolean(QStringLiteral("retainHistory"));
    if (read.failed())
        return unexpected(read.error());
    return preferences;
}

Expected<TranscriptRecord, DecodeError> transcriptRecordFromJson(const QJsonObject &object, const QString &where)
{
    MemberReader read(object, where);
    TranscriptRecord record;
    record.id = read.uuid(QStringLiteral("id"));
    record.date = read.timestamp(QStringLiteral("date"));
    record.original = read.string(QStringLiteral("original"));
    record.output = read.string(QStringLiteral("output"));
    record.duration = read.number(QStringLiteral("duration"));
    record.applicationName = read.string(QStringLiteral("applicationName"));
    record.formatter = read.string(QStringLiteral("formatter"));
    if (read.failed())
        return unexpected(read.error());
    return record;
}

Expected<DictionaryEntry, DecodeError> dictionaryEntryFromJson(const QJsonObject &object, const QString &where)
{
    MemberReader read(object, where);
    DictionaryEntry entry;
    entry.id = read.uuid(QStringLiteral("id"));
    entry.heard = read.string(QStringLiteral("heard"));
    entry.replacement = read.string(QStringLiteral("replacement"));
    entry.occurrenceCount = read.integer(QStringLiteral("occurrenceCount"));
    entry.modifiedAt = read.timestamp(QStringLiteral("modifiedAt"));
    entry.automatic = read.boolean(QStringLiteral("automatic"));
    if (read.failed())
        return unexpected(read.error());
    return entry;
}

Expected<Preferences, DecodeError> preferencesFromJson(const QJsonObject &object)
{
    return preferencesFromJson(object, QStringLiteral("the preferences"));
}

Expected<TranscriptRecord, DecodeError> transcriptRecordFromJson(const QJsonObject &object)
{
    return transcriptRecordFromJson(object, QStringLiteral("the history record"));
}

Expected<DictionaryEntry, DecodeError> dictionaryEntryFromJson(const QJsonObject &object)
{
    return dictionaryEntryFromJson(object, QStringLiteral("the dictionary entry"));
}

} // namespace orv
