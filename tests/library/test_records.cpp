#include "library/AppStore.h"
#include "library/Records.h"
#include "tests/support/QtPrinters.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace orv;

namespace {

QJsonObject parse(const char *json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

const char *validRecord = R"({
    "applicationName": "Mail", "date": 12.5, "duration": 3.25, "formatter": "Built-in rules",
    "id": "6F9619FF-8B86-D011-B42D-00C04FC964FF", "original": "hello", "output": "Hello."
})";
const char *validEntry = R"({
    "automatic": true, "heard": "jon", "id": "00000000-0000-0000-0000-0000000000AB",
    "modifiedAt": 0, "occurrenceCount": 2, "replacement": "John"
})";
const char *validPreferences = R"({
    "autoLearn": false, "localeIdentifier": "de-DE", "mode": "Structured", "retainHistory": true
})";

} // namespace

TEST(Records, handWrittenObjectsDecodeAndUnknownMembersAreIgnored)
{
    QJsonObject object = parse(validRecord);
    object.insert(QStringLiteral("futureMember"), 42);
    const auto record = transcriptRecordFromJson(object);
    ASSERT_TRUE(record) << record.error().message.toStdString();
    EXPECT_EQ(record.value().id, QUuid::fromString(QStringLiteral("6f9619ff-8b86-d011-b42d-00c04fc964ff")));
    EXPECT_EQ(record.value().date, QDateTime(QDate(2001, 1, 1), QTime(0, 0, 12, 500), Qt::UTC));
    EXPECT_EQ(record.value().duration, 3.25);
    EXPECT_EQ(record.value().formatter, QStringLiteral("Built-in rules"));

    const auto entry = dictionaryEntryFromJson(parse(validEntry));
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry.value().occurrenceCount, 2);
    EXPECT_EQ(entry.value().modifiedAt, QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC));
    EXPECT_TRUE(entry.value().automatic);

    const auto preferences = preferencesFromJson(parse(validPreferences));
    ASSERT_TRUE(preferences);
    EXPECT_EQ(preferences.value(), (Preferences{QStringLiteral("de-DE"), DictationMode::structured, false, true}));

    // Only the form is checked: what another version wrote still loads.
    object[QStringLiteral("duration")] = -4;
    object[QStringLiteral("output")] = QString();
    EXPECT_TRUE(transcriptRecordFromJson(object));
}

TEST(Records, everyMissingMemberWrongTypeBadUuidOrModeFailsTheWholeDecode)
{
    struct Case
    {
        const char *base;
        const char *member;
        QJsonValue value; // Undefined removes the member
        const char *expected;
    };
    const QJsonValue missing(QJsonValue::Undefined);
    const std::vector<Case> cases{
        {validPreferences, "retainHistory", missing, "the member “retainHistory” of the preferences is missing"},
        {validPreferences, "mode", QStringLiteral("clean"), "is not one of “Verbatim”, “Clean” or “Structured”"},
        {validPreferences, "autoLearn", 1, "is not true or false"},
        {validPreferences, "localeIdentifier", QJsonValue::Null, "is not a string"},
        {validRecord, "id", QStringLiteral("not-a-uuid"), "is not a valid UUID"},
        {validRecord, "id", QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FF}"), "is not a valid UUID"},
        {validRecord, "id", QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FG"), "is not a valid UUID"},
        {validRecord, "id", QStringLiteral("6F9619FF8-B86-D011-B42D-00C04FC964FF"), "is not a valid UUID"},
        {validRecord, "date", QStringLiteral("2026-03-01T09:00:00Z"), "is not a number"},
        {validRecord, "date", 1e300, "is not a usable timestamp"},
        {validRecord, "duration", QStringLiteral("3"), "is not a number"},
        {validRecord, "formatter", missing, "the member “formatter” of the history record is missing"},
        {validEntry, "occurrenceCount", 2.5, "is not a whole number"},
        {validEntry, "occurrenceCount", 1e30, "is not a whole number"},
        {validEntry, "automatic", QStringLiteral("true"), "is not true or false"},
        {validEntry, "heard", missing, "is missing"},
    };
    for (const Case &c : cases) {
        QJsonObject object = parse(c.base);
        if (c.value.isUndefined())
            object.remove(QString::fromUtf8(c.member));
        else
            object[QString::fromUtf8(c.member)] = c.value;
        std::optional<QString> error;
        if (c.base == validPreferences) {
            if (auto r = preferencesFromJson(object); !r)
                error = r.error().message;
        } else if (c.base == validRecord) {
            if (auto r = transcriptRecordFromJson(object); !r)
                error = r.error().message;
        } else if (auto r = dictionaryEntryFromJson(object); !r) {
            error = r.error().message;
        }
        ASSERT_TRUE(error.has_value()) << c.member;
        EXPECT_TRUE(error->contains(QString::fromUtf8(c.expected))) << error->toStdString();
    }
}

TEST(Records, encodingThenDecodingGivesAnEqualRecordAndEqualityComparesEveryField)
{
    const TranscriptRecord record{QUuid::createUuid(),
                                  QDateTime(QDate(2026, 3, 1), QTime(9, 15, 2, 7), Qt::UTC),
                                  QStringLiteral("naïve café ☕ \"quoted\"\nline"),
                                  QStringLiteral("Naïve café."),
                                  0.1 + 0.2,
                                  QString(),
                                  QStringLiteral("PocketSphinx")};
    const auto decoded = transcriptRecordFromJson(toJson(record));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded.value(), record);
    TranscriptRecord other = record;
    other.formatter = QStringLiteral("Built-in rules");
    EXPECT_NE(other, record);

    const DictionaryEntry entry{QUuid::createUuid(),
                                QStringLiteral("k8s"),
                                QStringLiteral("Kubernetes"),
                                std::numeric_limits<qint64>::max() / 1024,
                                QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC),
                                false};
    const auto decodedEntry = dictionaryEntryFromJson(toJson(entry));
    ASSERT_TRUE(decodedEntry);
    EXPECT_EQ(decodedEntry.value(), entry);
}

TEST(Records, libraryDocumentHasSortedIndentedMembersAndReadsBack)
{
    AppStore::Snapshot snapshot;
    snapshot.preferences = Preferences{QStringLiteral("en-GB"), DictationMode::verbatim, true, true};
    snapshot.history.append(TranscriptRecord{QUuid::fromString(QStringLiteral("A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11")),
                                             dateFromReferenceSeconds(794048400.5), QStringLiteral("hello world"),
                                             QStringLiteral("Hello world."), 2.5, QStringLiteral("Kate"),
                                             QStringLiteral("Built-in rules")});
    snapshot.dictionary.append(
        DictionaryEntry{QUuid::fromString(QStringLiteral("00000000-0000-0000-0000-00000000000F")),
                        QStringLiteral("jon"), QStringLiteral("John"), 3, dateFromReferenceSeconds(-1.25), true});
    const QByteArray expected = R"({
    "dictionary": [
        {
            "automatic": true,
            "heard": "jon",
            "id": "00000000-0000-0000-0000-00000000000F",
            "modifiedAt": -1.25,
            "occurrenceCount": 3,
            "replacement": "John"
        }
    ],
    "history": [
        {
            "applicationName": "Kate",
            "date": 794048400.5,
            "duration": 2.5,
            "formatter": "Built-in rules",
            "id": "A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11",
            "original": "hello world",
            "output": "Hello world."
        }
    ],
    "preferences": {
        "autoLearn": true,
        "localeIdentifier": "en-GB",
        "mode": "Verbatim",
        "retainHistory": true
    }
}
)";
    EXPECT_EQ(AppStore::encode(snapshot), expected);
    const auto decoded = AppStore::decode(expected);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded.value(), snapshot);
}

TEST(Records, documentLevelFailuresNameWhereTheyHappened)
{
    const std::vector<std::pair<QByteArray, QString>> cases{
        {"", QStringLiteral("not valid JSON")},
        {"[1, 2]", QStringLiteral("not a JSON object")},
        {"{}", QStringLiteral("the member “preferences” of the library is missing")},
        {R"({"preferences": {"autoLearn": true, "localeIdentifier": "en-US", "mode": "Clean", "retainHistory": true},
             "history": {}, "dictionary": []})",
         QStringLiteral("the member “history” of the library is not a list")},
        {R"({"preferences": {"autoLearn": true, "localeIdentifier": "en-US", "mode": "Clean", "retainHistory": true},
             "history": [], "dictionary": [5]})",
         QStringLiteral("dictionary entry 1 is not an object")},
        {R"({"preferences": {"autoLearn": true, "localeIdentifier": "en-US", "mode": "Clean", "retainHistory": true},
             "history": [], "dictionary": [{"automatic": true, "heard": "a", "id": "00000000-0000-0000-0000-000000000001",
             "modifiedAt": 0, "occurrenceCount": 1, "replacement": "b"}, {"heard": "c"}]})",
         QStringLiteral("the member “id” of dictionary entry 2 is missing")},
    };
    for (const auto &[document, expected] : cases) {
        const auto decoded = AppStore::decode(document);
        ASSERT_FALSE(decoded) << document.toStdString();
        EXPECT_TRUE(decoded.error().message.contains(expected)) << decoded.error().message.toStdString();
    }
}
