#include "net/LoopbackHttpClient.h"
#include "refine/IntelligenceFormatter.h"
#include "refine/LanguageModelSelector.h"
#include "refine/llamaserver/LlamaServerModel.h"
#include "refine/llamaserver/LocalLanguageModel.h"
#include "tests/support/HttpTest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace orv;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using test::ScriptedHttpServer;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool instrumented = true;
#elif defined(__has_feature)
constexpr bool instrumented = __has_feature(address_sanitizer);
#else
constexpr bool instrumented = false;
#endif

const QByteArray props = QByteArrayLiteral(
    R"({"default_generation_settings":{"n_ctx":8192},"model_path":"/models/qwen2.5-1.5b-instruct-q4_k_m.gguf","total_slots":1})");

QByteArray chatAnswer(const QString &content)
{
    const QJsonObject message{{u"role"_s, u"assistant"_s}, {u"content"_s, content}};
    const QJsonObject choice{{u"index"_s, 0}, {u"message"_s, message}};
    return QJsonDocument(QJsonObject{{u"choices"_s, QJsonArray{choice}}}).toJson();
}

// A model server that counts three tokens in every text and answers every chat with answer, after delay.
void serveModel(ScriptedHttpServer &server, const QString &answer, std::chrono::milliseconds delay = 0ms)
{
    server.script(u"/props"_s, {200, props, 0ms});
    server.script(u"/tokenize"_s, {200, R"({"tokens":[1,2,3]})"_ba, 0ms});
    server.script(u"/v1/chat/completions"_s, {200, chatAnswer(answer), delay});
}

class LlamaServerTest : public test::HttpTest
{
protected:
    // The model's answer to prompt in a session of its own.
    Expected<QString, ModelError> ask(LanguageModel &model, const QString &prompt, const QString &instructions = {})
    {
        auto session = model.makeSession(instructions);
        auto respond = session->respond(prompt, GenerationOptions{});
        return await(respond);
    }

    void refresh(LanguageModel &model)
    {
        auto task = model.refresh();
        await(task);
    }
};

} // namespace

TEST_F(LlamaServerTest, readsTheModelCountsTokensAndAnswersGreedily)
{
    serveModel(server, u"Hello, world."_s);

    LlamaServerModel model(scheduler, server.url().toString());
    EXPECT_FALSE(model.availability().available) << "unknown until asked";
    refresh(model);
    EXPECT_EQ(model.availability(), ModelAvailability::ready());
    EXPECT_EQ(model.displayName(), u"qwen2.5-1.5b-instruct-q4_k_m"_s);
    EXPECT_EQ(model.contextSize(), 8192);

    auto count = model.tokenCount(u"hello world."_s);
    EXPECT_EQ(await(count).value(), 3);
    EXPECT_EQ(ask(model, u"hello world"_s, u"Be brief."_s).value(), u"Hello, world."_s);

    const auto &requests = server.requests();
    ASSERT_EQ(requests.size(), 3);
    EXPECT_EQ(requests[0].method, "GET"_ba);
    EXPECT_EQ(QJsonDocument::fromJson(requests[1].body).object().value(u"content"_s).toString(), u"hello world."_s);
    const QJsonObject chat = QJsonDocument::fromJson(requests[2].body).object();
    EXPECT_EQ(chat.value(u"max_tokens"_s).toInt(), 1200);
    EXPECT_EQ(chat.value(u"top_k"_s).toInt(), 1);
    const QJsonArray messages = chat.value(u"messages"_s).toArray();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0].toObject().value(u"content"_s).toString(), u"Be brief."_s);
    EXPECT_EQ(messages[1].toObject().value(u"role"_s).toString(), u"user"_s);
}

TEST_F(LlamaServerTest, theFormatterUsesTheServerWhenItAnswers)
{
    serveModel(server, u" I don't know. \n"_s, 150ms);
    IntelligenceFormatter formatter(scheduler, makeLocalLanguageModel(scheduler, server.url().toString()),
                                    u"PocketSphinx"_s);
    auto task = formatter.format(u"i don't know"_s, DictationMode::clean, {});
    EXPECT_EQ(await(task), (FormattingResult{u"I don't know."_s, u"qwen2.5-1.5b-instruct-q4_k_m"_s, std::nullopt}));
    EXPECT_EQ(formatter.statusText(), u"qwen2.5-1.5b-instruct-q4_k_m · On this computer"_s);
}

TEST_F(LlamaServerTest, aServerLoadingItsModelIsNotReady)
{
    const QByteArray loading = R"({"error":{"code":503,"message":"Loading model","type":"unavailable_error"}})"_ba;
    server.script(u"/props"_s, {503, loading, 0ms});
    server.script(u"/v1/chat/completions"_s, {503, loading, 0ms});
    IntelligenceFormatter formatter(scheduler, makeLocalLanguageModel(scheduler, server.url().toString()),
                                    u"PocketSphinx"_s);
    auto task = formatter.format(u"hello"_s, DictationMode::clean, {});
    EXPECT_EQ(await(task).notice,
              u"Local model server is downloading or preparing its model. Kept your original dictation."_s);
    EXPECT_EQ(formatter.statusText(), u"Local model server is downloading or preparing its model."_s);

    LlamaServerModel model(scheduler, server.url().toString());
    EXPECT_EQ(ask(model, u"hi"_s).error().description, u"Local model server is still loading its model."_s);
}

TEST_F(LlamaServerTest, malformedAnswersAreReportedNotTrusted)
{
    server.script(u"/props"_s, {200, "<html>not json"_ba, 0ms});
    server.script(u"/tokenize"_s, {200, R"({"tokens":"many"})"_ba, 0ms});
    server.script(u"/v1/chat/completions"_s, {200, R"({"choices":5})"_ba, 0ms});
    LlamaServerModel model(scheduler, server.url().toString());
    refresh(model);
    EXPECT_FALSE(model.availability().available);
    const QString unreadable =
        u"The model server at "_s + server.url().toString() + u" sent an answer Orvanta cannot read."_s;
    EXPECT_EQ(model.availability().message, unreadable);

    auto count = model.tokenCount(u"x"_s);
    EXPECT_EQ(await(count).error().description, unreadable);
    EXPECT_EQ(ask(model, u"hi"_s).error().description, unreadable);

    server.script(u"/props"_s, {404, "{}"_ba, 0ms});
    refresh(model);
    EXPECT_EQ(model.availability().message,
              u"The server at "_s + server.url().toString() + u" is not a llama.cpp model server (HTTP 404)."_s);
}

// An answer whose visible words pass the content check but that hides characters (direction overrides,
// zero-width characters, soft hyphens, escape sequences) is changed text: the dictation is kept as it was.
// The model's name is shown without what its server put in it.
TEST_F(LlamaServerTest, anAnswerHidingCharactersIsChangedTextAndTheNameIsShownClean)
{
    const QString hostile[] = {u"Pay by \u202eyadirf\u202c."_s, u"Pay by fri\u200bday."_s, u"Pay by fri\u00adday."_s,
                               u"Pay by friday.\x1b[2J"_s};
    for (const QString &answer : hostile) {
        SCOPED_TRACE(answer.toUtf8().toPercentEncoding().toStdString());
        serveModel(server, answer);
        server.script(u"/props"_s, {200, R"({"n_ctx":8192,"model_alias":"qwen\u001b]2;pwned\u0007\u202e"})"_ba, 0ms});
        IntelligenceFormatter formatter(scheduler, makeLocalLanguageModel(scheduler, server.url().toString()),
                                        u"PocketSphinx"_s);
        auto task = formatter.format(u"pay by friday"_s, DictationMode::clean, {});
        const FormattingResult result = await(task);
        EXPECT_EQ(result.text, u"pay by friday"_s);
        ASSERT_TRUE(result.notice);
        EXPECT_EQ(formatter.modelDisplayName(), u"qwen"_s);
    }
}

// A server whose answer never ends is cut off at what 1200 tokens can be, instead of filling memory; what
// the server sent beyond that sat in the sockets' buffers.
TEST_F(LlamaServerTest, anEndlessAnswerIsCutOffAtTheLargestAnswerPossible)
{
    if (instrumented)
        GTEST_SKIP() << "instrumented, our side runs several times slower than Qt's HTTP thread, which reads on "
                        "at full speed until it handles the abort: when the close comes measures the machine";
    server.script(u"/props"_s, {200, props, 0ms});
    server.script(u"/v1/chat/completions"_s, {200, {}, 0ms, true});
    LlamaServerModel model(scheduler, server.url().toString());
    refresh(model);
    EXPECT_EQ(ask(model, u"hi"_s).error().description, u"The model server at "_s + server.url().toString() +
                                                           u" sent an answer longer than 1200 tokens can be."_s);
    EXPECT_TRUE(pumpUntil([&] { return server.abandonedByClient() == 1; })) << "the connection is closed";
    EXPECT_LT(server.endlessBytesSent(), 8 * LoopbackHttpClient::largestAnswer) << "sent before the close";
}

TEST_F(LlamaServerTest, noServerMeansBuiltinRules)
{
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const QString closedEndpoint = u"http://127.0.0.1:%1"_s.arg(probe.serverPort());
    probe.close();

    auto selector = makeLocalLanguageModel(scheduler, closedEndpoint);
    refresh(*selector);
    EXPECT_FALSE(selector->usesServer());
    EXPECT_EQ(selector->displayName(), u"Built-in rules"_s);
    EXPECT_EQ(selector->serverStatus(), u"No local model server answers at "_s + closedEndpoint + u"."_s);
}

// Loopback is open to every account: a server another account runs hears nothing of the user's
// dictations, and the built-in rules tidy them, until the user allows that account by name.
TEST_F(LlamaServerTest, anotherAccountsServerHearsNothingUntilItsAccountIsAllowed)
{
    QString whyNot;
    ScriptedHttpServer onLoopback;
    ScriptedHttpServer onSocket;
    QTemporaryDir folder; // the kernel names a Unix socket's listener by its effective account
    auto other = listenAsOtherAccount(onLoopback, &whyNot);
    if (other)
        other = listenAsOtherAccountAt(onSocket, folder.filePath(u"llama.sock"_s), &whyNot);
    if (!other)
        GTEST_SKIP() << qPrintable(whyNot);
    for (ScriptedHttpServer *theirs : {&onLoopback, &onSocket}) {
        serveModel(*theirs, u"Send a report."_s);
        for (const QStringList &allowed : {QStringList(), QStringList{u"nobody"_s}, QStringList{other->name}}) {
            SCOPED_TRACE(qPrintable(theirs->url().toString() + u' ' + allowed.join(QLatin1Char(','))));
            const qsizetype heard = theirs->requests().size();
            auto selector = std::make_unique<LanguageModelSelector>(
                std::make_unique<LlamaServerModel>(scheduler, theirs->url().toString(), allowed));
            const LanguageModelSelector &models = *selector;
            IntelligenceFormatter formatter(scheduler, std::move(selector), u"PocketSphinx"_s);
            auto task = formatter.format(u"send a report"_s, DictationMode::clean, {});
            const FormattingResult result = await(task);
            EXPECT_EQ(result.text, u"Send a report."_s);
            if (allowed.contains(other->name)) {
                EXPECT_EQ(result.formatter, u"qwen2.5-1.5b-instruct-q4_k_m"_s);
                continue;
            }
            EXPECT_EQ(result.formatter, u"Built-in rules"_s);
            EXPECT_EQ(theirs->requests().size(), heard) << "not a word sent";
            EXPECT_TRUE(models.serverStatus().contains(u"is run by another account (“%1”)"_s.arg(other->name)))
                << qPrintable(models.serverStatus());
        }
    }
}

// On a Unix socket, through the same client: the answers arrive whole in chunks; a server that says nothing
// ends at the time limit, one that never stops is cut off; a link to the socket or a file that is no socket
// is refused before a connection is made.
TEST_F(LlamaServerTest, aServerOnAUnixSocketAnswersWithinTheSameLimits)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(u"llama.sock"_s);
    ScriptedHttpServer local;
    ASSERT_TRUE(local.listenAt(path));
    ScriptedHttpServer::Response chunked(200, chatAnswer(u"Hello, socket."_s));
    chunked.chunked = true;
    local.script(u"/props"_s, {200, props, 0ms});
    local.script(u"/v1/chat/completions"_s, chunked);
    local.script(u"/slow"_s, {200, props, 60000ms});
    local.script(u"/endless"_s, {200, {}, 0ms, true});

    LlamaServerModel model(scheduler, u"unix:"_s + path);
    refresh(model);
    EXPECT_EQ(model.availability(), ModelAvailability::ready());
    EXPECT_EQ(ask(model, u"hello socket"_s).value(), u"Hello, socket."_s);

    LoopbackHttpClient client(scheduler, local.url());
    auto slow = client.send(u"/slow"_s, std::nullopt, 5s);
    ASSERT_TRUE(pumpUntil([&] { return local.requests().size() == 3; }));
    scheduler.advance(4999ms);
    EXPECT_FALSE(slow.isDone());
    scheduler.advance(1ms);
    EXPECT_EQ(await(slow).outcome, LoopbackHttpClient::Reply::Outcome::timedOut);
    EXPECT_TRUE(pumpUntil([&] { return local.abandonedByClient() == 1; })) << "the connection is closed";
    auto endless = client.send(u"/endless"_s, std::nullopt, Duration::zero());
    EXPECT_EQ(await(endless).outcome, LoopbackHttpClient::Reply::Outcome::tooLarge);
    EXPECT_TRUE(pumpUntil([&] { return local.abandonedByClient() == 2; }));
    EXPECT_LT(local.endlessBytesSent(), 8 * LoopbackHttpClient::largestAnswer);

    ASSERT_TRUE(QFile::link(path, folder.filePath(u"link.sock"_s)));
    QFile plain(folder.filePath(u"plain.sock"_s));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    for (const auto &[name, why] : {std::pair{"link.sock", "is a link: Orvanta does not follow it"},
                                    std::pair{"plain.sock", "names no socket"}}) {
        const QString address = u"unix:"_s + folder.filePath(QString::fromLatin1(name));
        LoopbackHttpClient refusing(scheduler, LlamaServerModel::loopbackEndpoint(address).value(), {},
                                    u"model server"_s);
        auto sent = refusing.send(u"/props"_s, std::nullopt, 5s);
        const auto reply = await(sent);
        EXPECT_EQ(reply.outcome, LoopbackHttpClient::Reply::Outcome::refused);
        EXPECT_TRUE(
            reply.errorText.startsWith(u"The model server address %1 %2"_s.arg(address, QString::fromUtf8(why))))
            << reply.errorText.toStdString();
    }
    EXPECT_EQ(local.requests().size(), 4);
}

// Which spellings are this computer is LoopbackAddress's test; here, that the model uses it and sends nothing.
TEST_F(LlamaServerTest, anAddressOffThisComputerIsNeverAskedAndAnotherChosenWhileRunningIsFromTheNextRefreshOn)
{
    server.script(u"/props"_s, {200, props, 0ms});
    auto remote = std::make_unique<LlamaServerModel>(scheduler, u"http://192.168.1.20:8080"_s);
    LlamaServerModel &handle = *remote;
    LanguageModelSelector selector(std::move(remote));
    refresh(selector);
    EXPECT_FALSE(selector.usesServer());
    EXPECT_TRUE(selector.serverStatus().contains(u"is not on this computer"_s));
    EXPECT_FALSE(ask(handle, u"secret dictation"_s).hasValue());
    EXPECT_EQ(LlamaServerModel::loopbackEndpoint(QString()).value(), QUrl(u"http://127.0.0.1:8080"_s));

    handle.setEndpoint(server.url().toString());
    EXPECT_EQ(handle.availability().message, u"No local model server answers at "_s + server.url().toString() + u"."_s)
        << "unknown until asked";
    refresh(selector);
    EXPECT_TRUE(selector.usesServer());
    EXPECT_EQ(selector.displayName(), u"qwen2.5-1.5b-instruct-q4_k_m"_s);
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(LlamaServerTest, aSlowServerIsAbandonedByTheProbeLimitTheDeadlineAndCancellation)
{
    serveModel(server, u"Late."_s, 60000ms);
    IntelligenceFormatter formatter(scheduler, makeLocalLanguageModel(scheduler, server.url().toString()),
                                    u"PocketSphinx"_s);

    auto timedOut = formatter.format(u"hello"_s, DictationMode::clean, {});
    // /props, the two token counts, then the request that never answers in time.
    ASSERT_TRUE(pumpUntil([&] { return server.requests().size() == 4; }));
    scheduler.advance(25s);
    EXPECT_EQ(await(timedOut).notice, u"qwen2.5-1.5b-instruct-q4_k_m took too long to respond. Kept "
                                      "your original dictation."_s);
    EXPECT_TRUE(pumpUntil([&] { return server.abandonedByClient() == 1; })) << "the request is aborted";

    // The model was asked at construction: the next formatting goes straight to the token counts.
    auto cancelled = formatter.format(u"hello"_s, DictationMode::clean, {});
    ASSERT_TRUE(pumpUntil([&] { return server.requests().size() == 7; }));
    cancelled.cancel();
    scheduler.runPending();
    ASSERT_TRUE(cancelled.isDone()) << "cancellation resumes at once";
    EXPECT_EQ(cancelled.result().notice, u"Formatting was cancelled. Kept your original dictation."_s);
    EXPECT_TRUE(pumpUntil([&] { return server.abandonedByClient() == 2; }));

    server.script(u"/props"_s, {200, props, 60000ms});
    LlamaServerModel model(scheduler, server.url().toString());
    auto probe = model.refresh();
    ASSERT_TRUE(pumpUntil([&] { return server.requests().size() == 8; }));
    scheduler.advance(LlamaServerModel::probeTimeLimit);
    await(probe);
    EXPECT_EQ(model.availability().message, u"No local model server answers at "_s + server.url().toString() + u"."_s);
    EXPECT_TRUE(pumpUntil([&] { return server.abandonedByClient() == 3; }));
}
