#include "library/AppStore.h"
#include "library/Records.h"
#include "tests/support/QtPrinters.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace orv;
using namespace Qt::StringLiterals;

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

// Only the form is checked: what another version wrote still loads; a missing member, a wrong type, a bad
// UUID or mode fails the whole decode.
TEST(Records, unknownMembersAndOddButWellFormedValuesDecodeAndEveryMalformedMemberFails)
{
    QJsonObject object = parse(validRecord);
    object.insert(u"futureMember"_s, 42);
    object[u"duration"_s] = -4;
    object[u"output"_s] = QString();
    EXPECT_EQ(transcriptRecordFromJson(object).value().date,
              QDateTime(QDate(2001, 1, 1), QTime(0, 0, 12, 500), Qt::UTC));
    EXPECT_TRUE(dictionaryEntryFromJson(parse(validEntry)));
    EXPECT_EQ(preferencesFromJson(parse(validPreferences)).value(),
              (Preferences{u"de-DE"_s, DictationMode::structured, false, true}));

    const QJsonValue missing(QJsonValue::Undefined); // removes the member
    const std::vector<std::tuple<const char *, const char *, QJsonValue, const char *>> cases{
        {validPreferences, "retainHistory", missing, "the member “retainHistory” of the preferences is missing"},
        {validPreferences, "mode", u"clean"_s, "is not one of “Verbatim”, “Clean” or “Structured”"},
        {validPreferences, "autoLearn", 1, "is not true or false"},
        {validPreferences, "localeIdentifier", QJsonValue::Null, "is not a string"},
        {validRecord, "id", u"not-a-uuid"_s, "is not a valid UUID"},
        {validRecord, "id", u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}"_s, "is not a valid UUID"},
        {validRecord, "id", u"6F9619FF-8B86-D011-B42D-00C04FC964FG"_s, "is not a valid UUID"},
        {validRecord, "id", u"6F9619FF8-B86-D011-B42D-00C04FC964FF"_s, "is not a valid UUID"},
        {validRecord, "date", u"2026-03-01T09:00:00Z"_s, "is not a number"},
        {validRecord, "date", 1e300, "is not a usable timestamp"},
        {validRecord, "duration", u"3"_s, "is not a number"},
        {validRecord, "formatter", missing, "the member “formatter” of the history record is missing"},
        {validEntry, "occurrenceCount", 2.5, "is not a whole number"},
        {validEntry, "occurrenceCount", 1e30, "is not a whole number"},
        {validEntry, "automatic", u"true"_s, "is not true or false"},
        {validEntry, "heard", missing, "is missing"},
    };
    const auto errorOf = [](const auto &decoded) { return decoded ? QString() : decoded.error().message; };
    for (const auto &[base, member, value, expected] : cases) {
        SCOPED_TRACE(member);
        QJsonObject object = parse(base);
        if (value.isUndefined())
            object.remove(QString::fromUtf8(member));
        else
            object[QString::fromUtf8(member)] = value;
        const QString error = base == validPreferences ? errorOf(preferencesFromJson(object))
                              : base == validRecord    ? errorOf(transcriptRecordFromJson(object))
                                                       : errorOf(dictionaryEntryFromJson(object));
        EXPECT_TRUE(error.contains(QString::fromUtf8(expected))) << error.toStdString();
    }
}

// Text that needs escaping, a duration and times that need every digit, the largest count a double holds
// exactly: the document says them all and reads back equal.
TEST(Records, libraryDocumentHasSortedIndentedMembersAndReadsBack)
{
    AppStore::Snapshot snapshot;
    snapshot.preferences = Preferences{u"en-GB"_s, DictationMode::verbatim, true, true};
    snapshot.history.append(TranscriptRecord{QUuid::fromString(u"A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11"_s),
                                             QDateTime(QDate(2026, 3, 1), QTime(9, 15, 2, 7), Qt::UTC),
                                             u"naïve café ☕ \"quoted\"\nline"_s, u"Naïve café."_s, 0.1 + 0.2, QString(),
                                             u"PocketSphinx"_s});
    snapshot.dictionary.append(DictionaryEntry{QUuid::fromString(u"00000000-0000-0000-0000-00000000000F"_s), u"jon"_s,
                                               u"John"_s, std::numeric_limits<qint64>::max() / 1024,
                                               QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC), true});
    const QByteArray expected = R"({
    "dictionary": [
        {
            "automatic": true,
            "heard": "jon",
            "id": "00000000-0000-0000-0000-00000000000F",
            "modifiedAt": -31622400.001,
            "occurrenceCount": 9007199254740991,
            "replacement": "John"
        }
    ],
    "history": [
        {
            "applicationName": "",
            "date": 794049302.007,
            "duration": 0.30000000000000004,
            "formatter": "PocketSphinx",
            "id": "A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11",
            "original": "naïve café ☕ \"quoted\"\nline",
            "output": "Naïve café."
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
    const QByteArray preferences =
        R"({"preferences": {"autoLearn": true, "localeIdentifier": "en-US", "mode": "Clean", "retainHistory": true}, )";
    const std::vector<std::pair<QByteArray, QString>> cases{
        {"", u"not valid JSON"_s},
        {"[1, 2]", u"not a JSON object"_s},
        {"{}", u"the member “preferences” of the library is missing"_s},
        {preferences + R"("history": {}, "dictionary": []})", u"the member “history” of the library is not a list"_s},
        {preferences + R"("history": [], "dictionary": [5]})", u"dictionary entry 1 is not an object"_s},
        {preferences + R"("history": [], "dictionary": [{"automatic": true, "heard": "a", "modifiedAt": 0,
             "id": "00000000-0000-0000-0000-000000000001", "occurrenceCount": 1, "replacement": "b"}, {"heard": "c"}]})",
         u"the member “id” of dictionary entry 2 is missing"_s},
    };
    for (const auto &[document, expected] : cases) {
        const auto decoded = AppStore::decode(document);
        ASSERT_FALSE(decoded) << document.toStdString();
        EXPECT_TRUE(decoded.error().message.contains(expected)) << decoded.error().message.toStdString();
    }
}
