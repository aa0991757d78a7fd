// The Whisper model download over real HTTP to a scripted server on 127.0.0.1; its idle limit in virtual time.
#include "speech/whisper/WhisperModelDownloader.h"
#include "tests/support/Files.h"
#include "tests/support/HttpTest.h"

#include <QCryptographicHash>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orv;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using Result = Expected<QString, WhisperModelDownloader::Failure>;

namespace {

class WhisperDownloadTest : public test::HttpTest
{
protected:
    void SetUp() override
    {
        HttpTest::SetUp();
        for (int i = 0; i < 300000; ++i)
            body.append(char(i * 7 % 251));
        model = WhisperModelInfo{u"test"_s, body.size(),
                                 QCryptographicHash::hash(body, QCryptographicHash::Sha1).toHex(), false};
    }

    Task<Result> fetch(const WhisperModelInfo &info)
    {
        const auto onProgress = [this](qint64 received, qint64 total) { progress = {received, total}; };
        return downloader.download(info, server.url().resolved(QUrl(u"/model"_s)), onProgress);
    }

    QString file(const char *suffix = "") const { return folder.filePath(u"ggml-test.bin"_s + QLatin1String(suffix)); }

    QTemporaryDir folder;
    WhisperModelDownloader downloader{scheduler, folder.path()};
    QByteArray body;
    WhisperModelInfo model;
    std::pair<qint64, qint64> progress{0, 0};
};

TEST_F(WhisperDownloadTest, ABrokenDownloadResumesAndOnlyACheckedFileTakesTheModelsName)
{
    test::ScriptedHttpServer::Response cut(200, body);
    cut.closeMidAnswer = true;
    server.script(u"/model"_s, cut);
    Task<Result> first = fetch(model);
    ASSERT_FALSE(await(first, 20000));
    EXPECT_TRUE(first.result().error().sentence.contains(u"broke off"));
    EXPECT_FALSE(QFile::exists(file()));
    const qint64 kept = QFileInfo(file(".part")).size();
    EXPECT_GT(kept, 0);

    test::ScriptedHttpServer::Response whole(200, body);
    whole.ranges = true;
    server.script(u"/model"_s, whole);
    Task<Result> second = fetch(model);
    ASSERT_TRUE(await(second, 20000)) << second.result().error().sentence.toStdString();
    EXPECT_EQ(server.requests().last().rangeStart, kept);
    EXPECT_EQ(progress, std::make_pair(body.size(), body.size()));
    EXPECT_EQ(test::readFile(second.result().value()), body);
    EXPECT_FALSE(QFile::exists(file(".part")));

    // A file that does not match its checksum is deleted, not installed.
    QFile::remove(file());
    WhisperModelInfo wrong = model;
    wrong.sha1 = QByteArray(40, '0');
    Task<Result> third = fetch(wrong);
    ASSERT_FALSE(await(third, 20000));
    EXPECT_TRUE(third.result().error().sentence.contains(u"checksum"));
    EXPECT_FALSE(QFile::exists(file()) || QFile::exists(file(".part")));
}

TEST_F(WhisperDownloadTest, EachFailureEndsWithASentenceAndInstallsNothing)
{
    for (const std::string_view c : {"full disk", "refused", "no answer", "cancelled", "unreachable"}) {
        SCOPED_TRACE(c);
        const qsizetype asked = server.requests().size();
        downloader.freeSpace = [c](const QString &) { return c == "full disk" ? qint64(1000) : qint64(-1); };
        server.script(u"/model"_s, c == "refused" ? test::ScriptedHttpServer::Response(404)
                                                  : test::ScriptedHttpServer::Response(200, body, 60s));
        QUrl source = server.url().resolved(QUrl(u"/model"_s));
        if (c == "unreachable")
            source.setPort(1);
        Task<Result> task = downloader.download(model, source);
        if (c == "no answer" || c == "cancelled") {
            ASSERT_TRUE(pumpUntil([&] { return server.requests().size() > asked; }));
            if (c == "cancelled")
                task.cancel();
            else
                scheduler.advance(WhisperModelDownloader::idleLimit);
        }
        ASSERT_FALSE(await(task, 20000));
        const WhisperModelDownloader::Failure &failure = task.result().error();
        EXPECT_EQ(failure.cancelled, c == "cancelled");
        EXPECT_EQ(failure.sentence.isEmpty(), c == "cancelled") << failure.sentence.toStdString();
        EXPECT_EQ(server.requests().size() > asked, c != "full disk" && c != "unreachable");
        EXPECT_FALSE(QFile::exists(file()));
    }
}

} // namespace
