#include "library/AppStore.h"
#include "tests/support/Files.h"
#include "tests/support/OtherAccount.h"
#include "tests/support/QtPrinters.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace orv;
using namespace Qt::StringLiterals;

namespace {

// The permission bits of a file or folder.
unsigned mode(const QString &path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0;
}

AppStore::Snapshot snapshotWith(int records, int length = 40)
{
    AppStore::Snapshot snapshot;
    for (int i = 0; i < records; ++i)
        snapshot.history.append({QUuid::createUuid(), dateFromReferenceSeconds(790000000.0 + i),
                                 u"dictation %1 "_s.arg(i).repeated(length / 12 + 1), u"Dictation %1."_s.arg(i), 1.5,
                                 u"Editor"_s, u"Built-in rules"_s});
    snapshot.dictionary.append(
        DictionaryEntry{QUuid::createUuid(), u"jon"_s, u"John"_s, 1, dateFromReferenceSeconds(5), true});
    return snapshot;
}

} // namespace

TEST(AppStore, firstRunStartsFromDefaultsWithoutWritingAnythingAndAFolderThatCannotBeMadeIsAClearError)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"orvanta/library.json"_s);
    AppStore store(path);
    EXPECT_EQ(store.snapshot(), AppStore::Snapshot{});
    EXPECT_EQ(store.snapshot().preferences, (Preferences{u"en-US"_s, DictationMode::clean, true, true}));
    EXPECT_FALSE(store.loadError());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(u"orvanta"_s)));

    qputenv("XDG_DATA_HOME", dir.path().toUtf8());
    EXPECT_EQ(AppStore::defaultFilePath(), path);
    qunsetenv("XDG_DATA_HOME");

    const QString blocker = dir.filePath(u"blocker"_s);
    ASSERT_TRUE(test::writeFile(blocker, "a file, not a folder"));
    AppStore blocked(blocker + u"/orvanta/library.json"_s);
    EXPECT_EQ(blocked.save(snapshotWith(1)).error().description(),
              u"The folder “%1/orvanta” could not be created."_s.arg(blocker));
    EXPECT_EQ(blocked.snapshot(), AppStore::Snapshot{});
}

TEST(AppStore, savesPrivatelyByteIdenticallyAndLoadsWhatItSaved)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"data/orvanta"_s);
    const QString path = folder + u"/library.json"_s;
    const AppStore::Snapshot snapshot = snapshotWith(3);
    {
        AppStore store(path);
        ASSERT_TRUE(store.save(snapshot));
        EXPECT_EQ(store.snapshot(), snapshot);
    }
    EXPECT_EQ(mode(folder), 0700u);
    EXPECT_EQ(mode(dir.filePath(u"data"_s)), 0700u);
    EXPECT_EQ(mode(path), 0600u);
    const QByteArray first = test::readFile(path);
    EXPECT_EQ(first, AppStore::encode(snapshot)) << "the document as the record tests spell it out";

    // Widened permissions are narrowed again by the next save; the text does not change.
    ::chmod(QFile::encodeName(path).constData(), 0644);
    AppStore reloaded(path);
    EXPECT_FALSE(reloaded.loadError());
    EXPECT_EQ(reloaded.snapshot(), snapshot);
    ASSERT_TRUE(reloaded.save(reloaded.snapshot()));
    EXPECT_EQ(test::readFile(path), first);
    EXPECT_EQ(mode(path), 0600u);
    EXPECT_EQ(test::folderEntries(folder), QStringList{u"library.json"_s}) << "no temporary file left";
}

// A large dictionary is decoded in two halves at once: the order survives, and a broken entry in the
// second half is named by its own number.
TEST(AppStore, aLargeDictionaryLoadsInOrderAndABrokenEntryPastItsMiddleIsNamed)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"library.json"_s);
    AppStore::Snapshot snapshot;
    for (int i = 0; i < 20000; ++i)
        snapshot.dictionary.append(DictionaryEntry{QUuid::createUuid(), u"heard %1"_s.arg(i), u"Spelling%1"_s.arg(i), i,
                                                   dateFromReferenceSeconds(i), i % 2 == 0});
    ASSERT_TRUE(AppStore(path).save(snapshot));
    EXPECT_EQ(AppStore(path).snapshot().dictionary, snapshot.dictionary);

    QByteArray document = test::readFile(path);
    document.replace(uuidString(snapshot.dictionary[15000].id).toUtf8(), "15000-not-an-id");
    ASSERT_TRUE(test::writeFile(path, document));
    const AppStore broken(path);
    EXPECT_TRUE(broken.loadError().value_or(QString()).contains(u"dictionary entry 15001"_s));
    EXPECT_EQ(test::readFile(path), document);
}

TEST(AppStore, anUnreadableLibraryIsKeptByteForByteAndEverySaveOfTheRunFails)
{
    const std::vector<QByteArray> documents{
        "",
        "{}",
        "not json at all",
        R"({"preferences": {"autoLearn": true, "localeIdentifier": "en-US", "mode": "Clean"}, "history": [], "dictionary": []})",
        AppStore::encode(snapshotWith(2)).chopped(40), // truncated in the middle of a record
        QByteArray("\xff\xfe{\x00}", 5),
    };
    for (const QByteArray &document : documents) {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"library.json"_s);
        ASSERT_TRUE(test::writeFile(path, document));
        ::chmod(QFile::encodeName(path).constData(), 0640);
        AppStore store(path);
        ASSERT_TRUE(store.loadError()) << document.toStdString();
        EXPECT_TRUE(
            store.loadError()->startsWith(u"Your saved library could not be read. It has been kept on disk: "_s));
        EXPECT_EQ(store.snapshot(), AppStore::Snapshot{});

        for (int attempt = 0; attempt < 2; ++attempt) {
            const auto saved = store.save(snapshotWith(1));
            EXPECT_TRUE(!saved && saved.error().kind == StoreError::Kind::unreadableLibrary);
        }
        EXPECT_EQ(test::readFile(path), document);
        EXPECT_EQ(mode(path), 0640u);
        EXPECT_EQ(test::folderEntries(dir.path()), QStringList{u"library.json"_s});
    }
}

// What is not a regular file is refused at once, said in a sentence, and never replaced: a folder, a named
// pipe (reading it would wait for a writer forever), a link to an endless device, a library larger than any
// library can grow.
TEST(AppStore, aLibraryThatIsNoRegularFileOrTooLargeIsRefusedAtOnceAndNeverReplaced)
{
    QTemporaryDir dir;
    const auto place = [&](const char *name) {
        QDir().mkpath(dir.filePath(QString::fromLatin1(name)));
        return dir.filePath(QString::fromLatin1(name) + u"/library.json"_s);
    };
    const QString folder = place("folder");
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString pipe = place("pipe");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString device = place("device");
    ASSERT_TRUE(QFile::link(u"/dev/zero"_s, device));
    const QString huge = place("huge");
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(AppStore::largestLibrary + 1)); // sparse: costs no disk
    }

    const std::vector<std::pair<QString, QString>> cases{
        {folder, u"“library.json” is not a regular file: it is a folder."_s},
        {pipe, u"“library.json” is not a regular file: it is a named pipe, not a file."_s},
        {device, u"“library.json” is not a regular file: it is a device, not a file."_s},
        {huge, u"“library.json” is too large to be a library: it is 64.0 MB, more than the 64 MB it "
               "may hold."_s},
    };
    for (const auto &[path, reason] : cases) {
        AppStore store(path);
        EXPECT_EQ(store.loadError(), u"Your saved library could not be read. It has been kept on disk: "_s + reason);
        EXPECT_EQ(store.snapshot(), AppStore::Snapshot{});
        EXPECT_FALSE(store.save(snapshotWith(1)));
    }
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_TRUE(QFileInfo(pipe).exists() && !QFileInfo(pipe).isFile()) << "the pipe is still a pipe";
    EXPECT_EQ(QFileInfo(device).symLinkTarget(), u"/dev/zero"_s);
    EXPECT_EQ(QFileInfo(huge).size(), AppStore::largestLibrary + 1);
}

// A library kept elsewhere behind a link (dotfiles) stays behind its link: the file it points to is replaced.
TEST(AppStore, aLibraryBehindALinkIsSavedWhereTheLinkPoints)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(u"dotfiles/library.json"_s);
    ASSERT_TRUE(AppStore(target).save(snapshotWith(1)));
    const QString link = dir.filePath(u"orvanta/library.json"_s);
    QDir().mkpath(QFileInfo(link).path());
    ASSERT_TRUE(QFile::link(target, link));

    AppStore store(link);
    ASSERT_FALSE(store.loadError());
    const AppStore::Snapshot next = snapshotWith(4);
    ASSERT_TRUE(store.save(next));
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), target);
    EXPECT_EQ(AppStore(target).snapshot(), next);
    EXPECT_EQ(test::folderEntries(QFileInfo(target).path()), QStringList{u"library.json"_s});
}

// A second account where the user's library lives: whatever it put there before the start (its own library,
// a link to another file of the user's, the folder itself) is refused and never written through, and a
// folder the user left open is made theirs alone at once, so that nothing can be swapped in afterwards.
TEST(AppStore, anotherAccountCanNeitherPlantALibraryNorRedirectTheSave)
{
    QString whyNot;
    const auto other = test::OtherAccount::get(&whyNot);
    if (!other)
        GTEST_SKIP() << qPrintable(whyNot);
    for (const char *planted : {"nothing", "link", "library", "folder"}) {
        SCOPED_TRACE(planted);
        const auto is = [planted](const char *kind) { return std::strcmp(planted, kind) == 0; };
        QTemporaryDir dir;
        // The other account may pass through (and, to make the folder itself, write to) the folder above.
        ::chmod(QFile::encodeName(dir.path()).constData(), is("folder") ? 0777 : 0711);
        const QString folder = dir.filePath(u"orvanta"_s);
        const QString path = folder + u"/library.json"_s;
        const QString important = dir.filePath(u"important"_s);
        ASSERT_TRUE(test::writeFile(important, AppStore::encode(snapshotWith(3))));
        const QByteArray importantBytes = test::readFile(important);
        if (!is("folder")) {
            ASSERT_EQ(::mkdir(QFile::encodeName(folder).constData(), 0777), 0);
            ::chmod(QFile::encodeName(folder).constData(), 0777);
        }
        if (is("nothing")) {
            ASSERT_TRUE(test::writeFile(path, AppStore::encode(snapshotWith(1))));
            ::chmod(QFile::encodeName(path).constData(), 0666);
        }
        {
            const test::ActingAs acting(*other);
            const bool made = is("nothing")   ? true
                              : is("link")    ? QFile::link(important, path)
                              : is("library") ? test::writeFile(path, AppStore::encode(snapshotWith(2)))
                                              : ::mkdir(QFile::encodeName(folder).constData(), 0777) == 0;
            ASSERT_TRUE(made);
        }
        const QByteArray plantedBytes = test::readFile(path);

        AppStore store(path);
        {
            // The swap between load and save.
            const test::ActingAs acting(*other);
            const QString aside = folder + u"/aside"_s;
            if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) == 0)
                QFile::link(important, path);
        }
        const auto saved = store.save(snapshotWith(5));
        EXPECT_EQ(test::readFile(important), importantBytes) << "another file of the user's is never written";
        if (is("nothing")) {
            ASSERT_FALSE(store.loadError()) << qPrintable(*store.loadError());
            EXPECT_TRUE(saved);
            EXPECT_EQ(mode(folder), 0700u);
            EXPECT_EQ(mode(path), 0600u);
            EXPECT_EQ(AppStore(path).snapshot(), store.snapshot());
            continue;
        }
        ASSERT_TRUE(store.loadError());
        EXPECT_TRUE(store.loadError()->contains(u"“%1”"_s.arg(other->name))) << qPrintable(*store.loadError());
        EXPECT_FALSE(saved);
        EXPECT_EQ(test::readFile(path), plantedBytes);
    }
}

// A save killed midway leaves its temporary file behind; the next start removes it once it is clearly
// abandoned, and touches nothing else in the folder.
TEST(AppStore, leftoversOfKilledSavesAreRemovedAtStartAndNothingElse)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"library.json"_s);
    ASSERT_TRUE(AppStore(path).save(snapshotWith(1)));
    const auto make = [&](const QString &name, int ageSeconds) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("{");
        file.flush();
        file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-ageSeconds), QFileDevice::FileModificationTime);
    };
    make(u"library.json.saving-Ab3dE9"_s, 3600); // abandoned
    make(u"library.json.saving-Zz0000"_s, 0);    // another process saving right now
    make(u"library.json.backup"_s, 3600);        // the user's own
    make(u"library.json.saving-old"_s, 3600);    // not a name a save gives
    make(u"other.json.saving-Ab3dE9"_s, 3600);   // another file's
    AppStore store(path);
    EXPECT_FALSE(store.loadError());
    EXPECT_EQ(test::folderEntries(dir.path()),
              (QStringList{u"library.json"_s, u"library.json.backup"_s, u"library.json.saving-old"_s,
                           u"library.json.saving-Zz0000"_s, u"other.json.saving-Ab3dE9"_s}));
}

// A full disk, made with a file-size limit: every write past the limit fails as it does when the disk is
// full. A small document fails only when it is flushed, a large one already while it is written; both must
// leave the old document, the snapshot and the folder as they were.
TEST(AppStore, aFullDiskLeavesTheOldDocumentTheSnapshotAndTheFolderIntact)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"library.json"_s);
    AppStore store(path);
    const AppStore::Snapshot old = snapshotWith(3);
    ASSERT_TRUE(store.save(old));
    const QByteArray oldBytes = test::readFile(path);

    for (const auto &[name, snapshot] :
         {std::pair{"small", snapshotWith(1)}, std::pair{"large", snapshotWith(200, 400)}}) {
        SCOPED_TRACE(name);
        const auto saved = [&store](const AppStore::Snapshot &document) {
            const test::FullDisk full;
            return store.save(document);
        }(snapshot);
        ASSERT_FALSE(saved);
        EXPECT_EQ(saved.error().description(), u"The file “library.json” could not be written: %1."_s.arg(
                                                   QString::fromLocal8Bit(std::strerror(EFBIG))));
        EXPECT_EQ(store.snapshot(), old);
        EXPECT_EQ(test::readFile(path), oldBytes);
        EXPECT_EQ(test::folderEntries(dir.path()), QStringList{u"library.json"_s}) << "no temporary file";
    }
    EXPECT_EQ(AppStore(path).snapshot(), old);
    EXPECT_TRUE(store.save(snapshotWith(2))) << "without the limit the same store saves: the failures were the disk's";
}

// A child process saves two different documents in turn until it is killed at a random moment; the file is
// always one of the two whole documents.
TEST(AppStore, aSaveKilledAtAnyMomentLeavesTheOldOrTheNewDocument)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"library.json"_s);
    const AppStore::Snapshot small = snapshotWith(2);
    const AppStore::Snapshot large = snapshotWith(200, 600);
    const QByteArray smallBytes = AppStore::encode(small);
    const QByteArray largeBytes = AppStore::encode(large);
    ASSERT_TRUE(AppStore(path).save(small));

    std::mt19937 random(12345);
    std::uniform_int_distribution<int> delayMicros(0, 20000);
    int sawSmall = 0;
    int midSave = 0;
    for (int round = 0; round < 200; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            AppStore store(path);
            for (unsigned i = 0;; ++i)
                (void)store.save(i % 2 ? small : large);
        }
        usleep(static_cast<useconds_t>(delayMicros(random)));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        const QByteArray now = test::readFile(path);
        ASSERT_TRUE(now == smallBytes || now == largeBytes) << "round " << round << ": " << now.size() << " bytes";
        sawSmall += now == smallBytes;
        EXPECT_FALSE(AppStore(path).loadError());
        // A temporary file left behind shows the kill landed inside a save.
        for (const QString &leftover :
             QDir(dir.path()).entryList({u"library.json.saving-*"_s}, QDir::Files | QDir::Hidden)) {
            ++midSave;
            QFile::remove(dir.filePath(leftover));
        }
    }
    std::printf("200 kills, %d inside a save: the small document was left %d times, the large one %d times\n", midSave,
                sawSmall, 200 - sawSmall);
}
