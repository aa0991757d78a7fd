#include "library/AppStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace orv;

namespace {

constexpr QFile::Permissions modeBits = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                        QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther |
                                        QFile::ExeOther;

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

TranscriptRecord record(int n, int length = 40)
{
    return TranscriptRecord{QUuid::createUuid(),
                            dateFromReferenceSeconds(790000000.0 + n),
                            QStringLiteral("dictation %1 ").arg(n).repeated(length / 12 + 1),
                            QStringLiteral("Dictation %1.").arg(n),
                            1.5,
                            QStringLiteral("Editor"),
                            QStringLiteral("Built-in rules")};
}

AppStore::Snapshot snapshotWith(int records, int length = 40)
{
    AppStore::Snapshot snapshot;
    for (int i = 0; i < records; ++i)
        snapshot.history.append(record(i, length));
    snapshot.dictionary.append(DictionaryEntry{QUuid::createUuid(), QStringLiteral("jon"), QStringLiteral("John"), 1,
                                               dateFromReferenceSeconds(5), true});
    return snapshot;
}

QStringList folderEntries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

TEST(AppStore, firstRunStartsFromDefaultsWithoutWritingAnything)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("orvanta/library.json"));
    AppStore store(path);
    EXPECT_EQ(store.snapshot(), AppStore::Snapshot{});
    EXPECT_EQ(store.snapshot().preferences, (Preferences{QStringLiteral("en-US"), DictationMode::clean, true, true}));
    EXPECT_FALSE(store.loadError());
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("orvanta"))));
}

TEST(AppStore, defaultLocationFollowsXdgDataHome)
{
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.path().toUtf8());
    EXPECT_EQ(AppStore::defaultFilePath(), dir.filePath(QStringLiteral("orvanta/library.json")));
    qunsetenv("XDG_DATA_HOME");
}

TEST(AppStore, savesPrivatelyByteIdenticallyAndLoadsWhatItSaved)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("data/orvanta"));
    const QString path = folder + QStringLiteral("/library.json");
    const AppStore::Snapshot snapshot = snapshotWith(3);
    {
        AppStore store(path);
        ASSERT_TRUE(store.save(snapshot));
        EXPECT_EQ(store.snapshot(), snapshot);
    }
    EXPECT_EQ(QFile::permissions(folder) & modeBits, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(QFile::permissions(dir.filePath(QStringLiteral("data"))) & modeBits,
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(QFile::permissions(path) & modeBits, QFile::ReadOwner | QFile::WriteOwner);
    const QByteArray first = readAll(path);
    EXPECT_FALSE(first.startsWith("\xEF\xBB\xBF"));
    EXPECT_LT(first.indexOf("\"dictionary\""), first.indexOf("\"history\""));
    EXPECT_LT(first.indexOf("\"history\""), first.indexOf("\"preferences\""));

    // Widened permissions are narrowed again by the next save; the text does not change.
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    AppStore reloaded(path);
    EXPECT_FALSE(reloaded.loadError());
    EXPECT_EQ(reloaded.snapshot(), snapshot);
    ASSERT_TRUE(reloaded.save(reloaded.snapshot()));
    EXPECT_EQ(readAll(path), first);
    EXPECT_EQ(QFile::permissions(path) & modeBits, QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(folderEntries(folder), QStringList{QStringLiteral("library.json")}) << "no temporary file left";
}

TEST(AppStore, historyIsCappedAt200AndEmptyWhenRetentionIsOff)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("library.json"));
    AppStore store(path);
    const AppStore::Snapshot big = snapshotWith(250);
    ASSERT_TRUE(store.save(big));
    ASSERT_EQ(store.snapshot().history.size(), 200);
    EXPECT_EQ(store.snapshot().history.front(), big.history.front());
    EXPECT_EQ(store.snapshot().history.back(), big.history.at(199));
    EXPECT_EQ(AppStore(path).snapshot().history.size(), 200);

    AppStore::Snapshot off = big;
    off.preferences.retainHistory = false;
    ASSERT_TRUE(store.save(off));
    const AppStore::Snapshot reread = AppStore(path).snapshot();
    EXPECT_TRUE(reread.history.isEmpty());
    EXPECT_EQ(reread.dictionary, big.dictionary);
    EXPECT_FALSE(reread.preferences.retainHistory);
}

TEST(AppStore, anUnreadableLibraryIsKeptByteForByteAndEverySaveOfTheRunFails)
{
    const std::vector<QByteArray> documents{
        "",
        "{}",
        "not json at all",
        R"({"preferences": {"autoLearn": true, "localeIdentifier": "en-US", "mode": "Clean"}, "history": [], "dictionary": []})",
        R"({"preferences": {"autoLearn": true, "localeIdentifier": "en-US", "mode": "clean", "retainHistory": true}, "history": [], "dictionary": []})",
        AppStore::encode(snapshotWith(2)).chopped(40), // truncated in the middle of a record
        QByteArray("\xff\xfe{\x00}", 5),
    };
    for (const QByteArray &document : documents) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("library.json"));
        writeAll(path, document);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        AppStore store(path);
        ASSERT_TRUE(store.loadError()) << document.toStdString();
        EXPECT_TRUE(store.loadError()->startsWith(
            QStringLiteral("Your saved library could not be read. It has been kept on disk: ")));
        EXPECT_EQ(store.snapshot(), AppStore::Snapshot{});

        for (int attempt = 0; attempt < 2; ++attempt) {
            const auto saved = store.save(snapshotWith(1));
            ASSERT_FALSE(saved);
            EXPECT_EQ(saved.error().kind, StoreError::Kind::unreadableLibrary);
        }
        EXPECT_EQ(readAll(path), document);
        EXPECT_EQ(QFile::permissions(path) & modeBits, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        EXPECT_EQ(folderEntries(dir.path()), QStringList{QStringLiteral("library.json")});
    }
}

TEST(AppStore, aFolderWhereTheLibraryShouldBeIsALoadErrorNotADefault)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("library.json"));
    ASSERT_TRUE(QDir().mkdir(path));
    AppStore store(path);
    ASSERT_TRUE(store.loadError());
    EXPECT_TRUE(store.loadError()->contains(QStringLiteral("it is a folder")));
    EXPECT_FALSE(store.save({}));
}

TEST(AppStore, aFolderThatCannotBeCreatedIsAClearErrorAndChangesNothing)
{
    QTemporaryDir dir;
    const QString blocker = dir.filePath(QStringLiteral("blocker"));
    writeAll(blocker, "a file, not a folder");
    AppStore store(blocker + QStringLiteral("/orvanta/library.json"));
    const auto saved = store.save(snapshotWith(1));
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error().kind, StoreError::Kind::folder);
    EXPECT_EQ(saved.error().description(),
              QStringLiteral("The folder “%1/orvanta” could not be created.").arg(blocker));
    EXPECT_EQ(store.snapshot(), AppStore::Snapshot{});
}

TEST(AppStore, aFullDiskLeavesTheOldDocumentAndTheSnapshotIntact)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("library.json"));
    AppStore store(path);
    const AppStore::Snapshot small = snapshotWith(1);
    ASSERT_TRUE(store.save(small));
    const QByteArray old = readAll(path);

    // A file-size limit makes writes past it fail as they do on a full disk.
    struct rlimit saved
    {
    };
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto *previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = saved;
    tight.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    const auto result = store.save(snapshotWith(200, 400));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind, StoreError::Kind::writing);
    EXPECT_TRUE(result.error().description().startsWith(QStringLiteral("The file “library.json” could not be written")))
        << result.error().description().toStdString();
    EXPECT_EQ(readAll(path), old);
    EXPECT_EQ(store.snapshot(), small);
    EXPECT_EQ(folderEntries(dir.path()), QStringList{QStringLiteral("library.json")});
}

TEST(AppStore, aReadOnlyFolderLeavesTheOldDocumentAndTheSnapshotIntact)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders; the full-disk case covers the write failure";
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("ro"));
    const QString path = folder + QStringLiteral("/library.json");
    AppStore store(path);
    ASSERT_TRUE(store.save(snapshotWith(1)));
    const QByteArray old = readAll(path);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    const auto result = store.save(snapshotWith(5));
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind, StoreError::Kind::writing);
    EXPECT_EQ(readAll(path), old);
    EXPECT_EQ(store.snapshot().history.size(), 1);
}

// A child process saves two different documents in turn until it is killed at a random moment; the file is
// always one of the two whole documents.
TEST(AppStore, aSaveKilledAtAnyMomentLeavesTheOldOrTheNewDocument)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("library.json"));
    const AppStore::Snapshot small = snapshotWith(2);
    const AppStore::Snapshot large = snapshotWith(200, 600);
    const QByteArray smallBytes = AppStore::encode(small);
    const QByteArray largeBytes = AppStore::encode(large);
    ASSERT_TRUE(AppStore(path).save(small));

    std::mt19937 random(12345);
    std::uniform_int_distribution<int> delayMicros(0, 30000);
    int sawSmall = 0;
    int sawLarge = 0;
    for (int round = 0; round < 40; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            AppStore store(path);
            for (unsigned i = 0;; ++i)
                (void)store.save(i % 2 ? small : large);
        }
        usleep(static_cast<useconds_t>(delayMicros(random)));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        const QByteArray now = readAll(path);
        ASSERT_TRUE(now == smallBytes || now == largeBytes) << "round " << round << ": " << now.size() << " bytes";
        (now == smallBytes ? sawSmall : sawLarge)++;
        EXPECT_FALSE(AppStore(path).loadError());
    }
    RecordProperty("oldOrNew", QStringLiteral("%1 small, %2 large").arg(sawSmall).arg(sawLarge).toStdString());
    std::printf("killed saves left the small document %d times and the large one %d times\n", sawSmall, sawLarge);
}
