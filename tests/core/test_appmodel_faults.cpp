// A library that cannot be written: the dictation still reaches its target and stays in memory, the error is
// shown, and what is on disk is left exactly as it was.
#include "tests/core/AppModelHarness.h"
#include "tests/support/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <cstdio>
#include <optional>
#include <sys/mount.h>
#include <unistd.h>

using namespace orv;
using namespace orv::test;
using namespace Qt::StringLiterals;

class BrokenLibraryTest : public AppModelTest
{
protected:
    QString folder() const { return QFileInfo(libraryPath()).path(); }

    // Saves a first library, as an earlier run would have.
    QByteArray saveOldLibrary()
    {
        AppStore::Snapshot old;
        old.history.append(TranscriptRecord{QUuid::createUuid(), dateFromReferenceSeconds(700000000.0), u"earlier"_s,
                                            u"Earlier."_s, 1, u"Editor"_s, u"Built-in rules"_s});
        EXPECT_TRUE(AppStore(libraryPath()).save(old));
        return readFile(libraryPath());
    }

    // Dictates, then checks that the words survived the failed save and that the disk was not touched. A
    // library that could not be read says so from the start, and the model starts from an empty one.
    void dictateAndCheck(const char *name, const QByteArray &before, bool unreadable)
    {
        SCOPED_TRACE(name);
        AppModel &m = make();
        EXPECT_EQ(m.errorMessage().value_or(QString()).startsWith(u"Your saved library could not"_s), unreadable);
        const QString words = u"words that must survive "_s.repeated(200).trimmed();
        dictate(words);
        const QString error = m.errorMessage().value_or(QString());
        const QString reason = unreadable ? u"could not be read when Orvanta started"_s : u"could not be written"_s;
        EXPECT_TRUE(error.startsWith(u"Could not save your local library: "_s) && error.contains(reason))
            << error.toStdString();
        EXPECT_EQ(m.status(), u"Inserted"_s);
        ASSERT_FALSE(deliveryFake->deliverCalls.isEmpty());
        EXPECT_EQ(deliveryFake->deliverCalls.last().text, words);
        ASSERT_EQ(m.history().size(), unreadable ? 1 : 2);
        EXPECT_EQ(m.history().first().output, words);
        EXPECT_EQ(readFile(libraryPath()), before) << "the document on disk is unchanged";
        EXPECT_EQ(folderEntries(folder()).filter(u".saving-"_s), QStringList());
        model.reset();
        freshServices();
    }
};

// A full disk is a small memory filesystem filled to the last byte when the tests may mount (as root in CI);
// otherwise a file-size limit, which makes the write fail the same way.
TEST_F(BrokenLibraryTest, aFullDiskShowsTheErrorKeepsTheWordsAndLeavesTheOldDocument)
{
    ASSERT_TRUE(QDir().mkpath(folder()));
    const QByteArray folderName = QFile::encodeName(folder());
    const bool mounted = ::mount("tmpfs", folderName.constData(), "tmpfs", 0, "size=64k,mode=0700") == 0;
    const auto unmount = qScopeGuard([&] {
        if (mounted)
            ::umount2(folderName.constData(), MNT_DETACH);
    });
    const QByteArray before = saveOldLibrary();

    std::optional<FullDisk> limit;
    if (mounted)
        writeFile(folder() + u"/filler"_s, QByteArray(64 * 1024, 'x')); // fails once the last byte is taken
    else
        limit.emplace();
    std::printf("full disk: %s\n", mounted ? "a 64 KiB memory filesystem" : "a file-size limit (mounting needs root)");
    dictateAndCheck(mounted ? "full memory filesystem" : "file-size limit", before, false);
}

TEST_F(BrokenLibraryTest, aReadOnlyFolderABrokenLibraryAFolderInTheWayAndADanglingLinkKeepTheWordsAndTouchNothing)
{
    ASSERT_TRUE(QDir().mkpath(folder()));
    {
        // Root writes into any folder whatever its mode: a read-only mount is read-only for everyone.
        const QByteArray before = saveOldLibrary();
        const QByteArray folderName = QFile::encodeName(folder());
        bool readOnly = false;
        if (geteuid() == 0) {
            readOnly =
                ::mount(folderName.constData(), folderName.constData(), nullptr, MS_BIND, nullptr) == 0 &&
                ::mount(nullptr, folderName.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
        } else {
            readOnly = QFile::setPermissions(folder(), QFile::ReadOwner | QFile::ExeOwner);
        }
        const auto writable = qScopeGuard([&] {
            if (geteuid() == 0)
                ::umount2(folderName.constData(), MNT_DETACH);
            QFile::setPermissions(folder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        if (readOnly)
            dictateAndCheck("read-only folder", before, false);
        else
            ADD_FAILURE() << "the folder could not be made read-only";
    }

    ASSERT_TRUE(writeFile(libraryPath(), "{\"preferences\": {}}"));
    dictateAndCheck("a library that does not decode", "{\"preferences\": {}}", true);

    QFile::remove(libraryPath());
    ASSERT_TRUE(QDir().mkpath(libraryPath()));
    dictateAndCheck("folder where the library belongs", {}, true);
    EXPECT_TRUE(QFileInfo(libraryPath()).isDir());

    ASSERT_TRUE(QDir().rmdir(libraryPath()));
    const QString missing = dir.filePath(u"moved/library.json"_s);
    ASSERT_TRUE(QFile::link(missing, libraryPath()));
    dictateAndCheck("dangling link", {}, true);
    EXPECT_EQ(QFileInfo(libraryPath()).symLinkTarget(), missing) << "the link is kept";
    EXPECT_FALSE(QFileInfo::exists(missing)) << "nothing is written behind it";
}
