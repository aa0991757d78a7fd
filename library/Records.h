#pragma once

#include "base/Expected.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <array>
#include <optional>

namespace orv {

enum class DictationMode
{
    verbatim,
    clean,
    structured
};

inline constexpr std::array<DictationMode, 3> allDictationModes{DictationMode::verbatim, DictationMode::clean,
                                                                DictationMode::structured};

// "Verbatim", "Clean", "Structured": what the library stores and the title the user sees.
QString rawValue(DictationMode mode);
// Exact, case-sensitive match of a raw value.
std::optional<DictationMode> dictationModeFromRaw(const QString &raw);
// Tooltip of the mode choice.
QString modeDescription(DictationMode mode);

struct Preferences
{
    QString localeIdentifier = QStringLiteral("en-US");
    DictationMode mode = DictationMode::clean;
    bool autoLearn = true;
    bool retainHistory = true;

    bool operator==(const Preferences &) const = default;
};

struct TranscriptRecord
{
    QUuid id;
    QDateTime date;
    QString original;
    QString output;
    double duration = 0;
    QString applicationName;
    QString formatter;

    bool operator==(const TranscriptRecord &) const = default;
};

struct DictionaryEntry
{
    QUuid id;
    QString heard;
    QString replacement;
    qint64 occurrenceCount = 1;
    QDateTime modifiedAt;
    bool automatic = false;

    bool operator==(const DictionaryEntry &) const = default;
};

enum class RecordingPhase
{
    idle,
    preparing,
    recording,
    processing
};

struct DeliveryResult
{
    enum class Outcome
    {
        inserted,
        sent,
        copied,
        failed
    };
    Outcome outcome = Outcome::failed;
    QString message;

    bool operator==(const DeliveryResult &) const = default;
};

// JSON form of the library document. Decoding is strict: every member present and of its type.
struct DecodeError
{
    QString message;
};

QJsonObject toJson(const Preferences &preferences);
QJsonObject toJson(const TranscriptRecord &record);
QJsonObject toJson(const DictionaryEntry &entry);
Expected<Preferences, DecodeError> preferencesFromJson(const QJsonObject &object);
Expected<TranscriptRecord, DecodeError> transcriptRecordFromJson(const QJsonObject &object);
Expected<DictionaryEntry, DecodeError> dictionaryEntryFromJson(const QJsonObject &object);
// The same, naming the object in the error ("history record 3") so a message can say where it failed.
Expected<Preferences, DecodeError> preferencesFromJson(const QJsonObject &object, const QString &where);
Expected<TranscriptRecord, DecodeError> transcriptRecordFromJson(const QJsonObject &object, const QString &where);
Expected<DictionaryEntry, DecodeError> dictionaryEntryFromJson(const QJsonObject &object, const QString &where);

// Timestamps are stored as seconds since 2001-01-01 00:00:00 UTC.
double referenceSeconds(const QDateTime &date);
QDateTime dateFromReferenceSeconds(double seconds);
// Canonical upper-case 8-4-4-4-12 form.
QString uuidString(const QUuid &id);

} // namespace orv
