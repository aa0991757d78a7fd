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

#include <cstdio>
#include <cstdlib>

using namespace orv;
using namespace std::chrono_literals;
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
    const QJsonObject message{{QStringLiteral("role"), QStringLiteral("assistant")},
                              {QStringLiteral("content"), content}};
    const QJsonObject choice{{QStringLiteral("index"), 0}, {QStringLiteral("message"), message}};
    return QJsonDocument(QJsonObject{{QStringLiteral("choices"), QJsonArray{choice}}}).toJson();
}

class LlamaServerTest : public test::HttpTest
{
protected:
    template <typename T>
    T await(Task<T> &task)
    {
        if (!pumpUntil([&] { return task.isDone(); })) {
            std::fprintf(stderr, "a task did not finish within 5 s\n");
            std::abort();
        }
        return task.result();
    }

    // The model's answer to prompt in a session of its own, with no instructions.
    Expected<QString, ModelError> ask(LanguageModel &model, const QString &prompt)
    {
        auto session = model.makeSession(QString());
        auto respond = session->respond(prompt, GenerationOptions{});
        return await(respond);
    }

    void refresh(LanguageModel &model)
    {
        auto task = model.refresh();
        EXPECT_TRUE(pumpUntil([&] { return task.isDone(); }));
    }
};

} // namespace

TEST_F(LlamaServerTest, readsTheModelCountsTokensAndAnswersGreedily)
{
    server.script(QStringLiteral("/props"), {200, props, 0ms});
    server.script(QStringLiteral("/tokenize"), {200, QByteArrayLiteral(R"({"tokens":[9906,1917,13]})"), 0ms});
    server.script(QStringLiteral("/v1/chat/completions"), {200, chatAnswer(QStringLiteral("Hello, world.")), 0ms});

    LlamaServerModel model(scheduler, server.url().toString());
    EXPECT_FALSE(model.availability().available) << "unknown until asked";
    refresh(model);
    EXPECT_EQ(model.availability(), ModelAvailability::ready());
    EXPECT_EQ(model.displayName(), QStringLiteral("qwen2.5-1.5b-instruct-q4_k_m"));
    EXPECT_EQ(model.contextSize(), 8192);

    auto count = model.tokenCount(QStringLiteral("hello world."));
    const Expected<int, ModelError> tokens = await(count);
    ASSERT_TRUE(tokens.hasValue());
    EXPECT_EQ(tokens.value(), 3);

    auto session = model.makeSession(QStringLiteral("Be brief."));
    auto respond = session->respond(QStringLiteral("hello world"), GenerationOptions{});
    const Expected<QString, ModelError> answer = await(respond);
    ASSERT_TRUE(answer.hasValue());
    EXPECT_EQ(answer.value(), QStringLiteral("Hello, world."));

    const auto &requests = server.requests();
    ASSERT_EQ(requests.size(), 3);
    EXPECT_EQ(requests[0].method, QByteArrayLiteral("GET"));
    EXPECT_EQ(QJsonDocument::fromJson(requests[1].body).object().value(QStringLiteral("content")).toString(),
              QStringLiteral("hello world."));
    const QJsonObject chat = QJsonDocument::fromJson(requests[2].body).object();
    EXPECT_EQ(chat.value(QStringLiteral("max_tokens")).toInt(), 1200);
    EXPECT_EQ(chat.value(QStringLiteral("top_k")).toInt(), 1);
    const QJsonArray messages = chat.value(QStringLiteral("messages")).toArray();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0].toObject().value(QStringLiteral("content")).toString(), QStringLiteral("Be brief."));
    EXPECT_EQ(messages[1].toObject().value(QStringLiteral("role")).toString(), QStringLiteral("user"));
}

TEST_F(LlamaServerTest, theFormatterUsesTheServerWhenItAnswers)
{
    server.script(QStringLiteral("/props"), {200, props, 0ms});
    server.script(QStringLiteral("/tokenize"), {200, QByteArrayLiteral(R"({"tokens":[1,2,3,4]})"), 0ms});
    server.script(QStringLiteral("/v1/chat/completions"),
                  {200, chatAnswer(QStringLiteral(" I don't know. \n")), 150ms});
    IntelligenceFormatter formatter(scheduler, makeLocalLanguageModel(scheduler, server.url().toString()),
                                    QStringLiteral("PocketSphinx"));
    auto task = formatter.format(QStringLiteral("i don't know"), DictationMode::clean, {});
    EXPECT_EQ(await(task), (FormattingResult{QStringLiteral("I don't know."),
                                             QStringLiteral("qwen2.5-1.5b-instruct-q4_k_m"), std::nullopt}));
    EXPECT_EQ(formatter.statusText(), QStringLiteral("qwen2.5-1.5b-instruct-q4_k_m · On this computer"));
}

TEST_F(LlamaServerTest, aServerLoadingItsModelIsNotReady)
{
    const QByteArray loading =
        QByteArrayLiteral(R"({"error":{"code":503,"message":"Loading model","type":"unavailable_error"}})");
    server.script(QStringLiteral("/props"), {503, loading, 0ms});
    server.script(QStringLiteral("/v1/chat/completions"), {503, loading, 0ms});
    IntelligenceFormatter formatter(scheduler, makeLocalLanguageModel(scheduler, server.url().toString()),
                                    QStringLiteral("PocketSphinx"));
    auto task = formatter.format(QStringLiteral("hello"), DictationMode::clean, {});
    EXPECT_EQ(
        await(task).notice,
        QStringLiteral("Local model server is downloading or preparing its model. Kept your original dictation."));
    EXPECT_EQ(formatter.statusText(), QStringLiteral("Local model server is downloading or preparing its model."));

    LlamaServerModel model(scheduler, server.url().toString());
    const auto answer = ask(model, QStringLiteral("hi"));
    ASSERT_FALSE(answer.hasValue());
    EXPECT_EQ(answer.error().description, QStringLiteral("Local model server is still loading its model."));
}

TEST_F(LlamaServerTest, malformedAnswersAreReportedNotTrusted)
{
    server.script(QStringLiteral("/props"), {200, QByteArrayLiteral("<html>not json"), 0ms});
    server.script(QStringLiteral("/tokenize"), {200, QByteArrayLiteral(R"({"tokens":"many"})"), 0ms});
    server.script(QStringLiteral("/v1/chat/completions"), {200, QByteArrayLiteral(R"({"choices":5})"), 0ms});
    LlamaServerModel model(scheduler, server.url().toString());
    refresh(model);
    EXPECT_FALSE(model.availability().available);
    const QString unreadable = QStringLiteral("The model server at ") + server.url().toString() +
                               QStringLiteral(" sent an answer Orvanta cannot read.");
    EXPECT_EQ(model.availability().message, unreadable);

    auto count = model.tokenCount(QStringLiteral("x"));
    const auto tokens = await(count);
    ASSERT_FALSE(tokens.hasValue());
    EXPECT_EQ(tokens.error().description, unreadable);
    const auto answer = ask(model, QStringLiteral("hi"));
    ASSERT_FALSE(answer.hasValue());
    EXPECT_EQ(answer.error().description, unreadable);

    server.script(QStringLiteral("/props"), {404, QByteArrayLiteral("{}"), 0ms});
    refresh(model);
    EXPECT_EQ(model.availability().message, QStringLiteral("The server at ") + server.url().toString() +
                                                QStringLiteral(" is not a llama.cpp model server (HTTP 404)."));
}

// An answer whose visible words pass the content check but that hides characters (direction overrides,
// zero-width characters, soft hyphens, escape sequences) is changed text: the dictation is kept as it was.
// The model's name is shown without what its server put in it.
TEST_F(LlamaServerTest, anAnswerHidingCharactersIsChangedTextAndTheNameIsShownClean)
{
    server.script(QStringLiteral("/props"),
                  {200, QByteArrayLiteral(R"({"n_ctx":8192,"model_alias":"qwen\u001b]2;pwned\u0007\u202e"})"), 0ms});
    server.script(QStringLiteral("/tokenize"), {200, QByteArrayLiteral(R"({"tokens":[1,2,3]})"), 0ms});
    const QString hostile[] = {QStringLiteral("Pay by \u202eyadirf\u202c."), QStringLiteral("Pay by fri\u200bday."),
                               QStringLiteral("Pay by fri\u00adday."), QStringLiteral("Pay by friday.\x1b[2J")};
    for (const QString &answer : hostile) {
        SCOPED_TRACE(answer.toUtf8().toPercentEncoding().toStdString());
        server.script(QStringLiteral("/v1/chat/completions"), {200, chatAnswer(answer), 0ms});
        IntelligenceFormatter formatter(scheduler, makeLocalLanguageModel(scheduler, server.url().toString()),
                                        QStringLiteral("PocketSphinx"));
        auto task = formatter.format(QStringLiteral("pay by friday"), DictationMode::clean, {});
        const FormattingResult result = await(task);
        EXPECT_EQ(result.text, QStringLiteral("pay by friday"));
        ASSERT_TRUE(result.notice);
        EXPECT_EQ(formatter.modelDisplayName(), QStringLiteral("qwen"));
    }
}

// A server whose answer never ends is cut off at what 1200 tokens can be, instead of filling memory; what
// the server sent beyond that sat in the sockets' buffers.
TEST_F(LlamaServerTest, anEndlessAnswerIsCutOffAtTheLargestAnswerPossible)
{
    if (instrumented)
        GTEST_SKIP() << "instrumented, our side runs several times slower than Qt's HTTP thread, which reads on "
                        "at full speed until it handles the abort: when the close comes measures the machine";
    server.script(QStringLiteral("/props"), {200, props, 0ms});
    server.script(QStringLiteral("/v1/chat/completions"), {200, {}, 0ms, true});
    LlamaServerModel model(scheduler, server.url().toString());
    refresh(model);
    const auto answer = ask(model, QStringLiteral("hi"));
    ASSERT_FALSE(answer.hasValue());
    EXPECT_EQ(answer.error().description, QStringLiteral("The model server at ") + server.url().toString() +
                                              QStringLiteral(" sent an answer longer than 1200 tokens can be."));
    EXPECT_TRUE(pumpUntil([&] { return server.abandonedByClient() == 1; })) << "the connection is closed";
    EXPECT_LT(server.endlessBytesSent(), 8 * LoopbackHttpClient::largestAnswer) << "sent before the close";
}

TEST_F(LlamaServerTest, noServerMeansBuiltinRules)
{
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const QString closedEndpoint = QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort());
    probe.close();

    auto selector = makeLocalLanguageModel(scheduler, closedEndpoint);
    refresh(*selector);
    EXPECT_FALSE(selector->usesServer());
    EXPECT_EQ(selector->displayName(), QStringLiteral("Built-in rules"));
    EXPECT_EQ(selector->serverStatus(),
              QStringLiteral("No local model server answers at ") + closedEndpoint + QStringLiteral("."));
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
        other = listenAsOtherAccountAt(onSocket, folder.filePath(QStringLiteral("llama.sock")), &whyNot);
    if (!other)
        GTEST_SKIP() << qPrintable(whyNot);
    for (ScriptedHttpServer *theirs : {&onLoopback, &onSocket}) {
        theirs->script(QStringLiteral("/props"), {200, props, 0ms});
        theirs->script(QStringLiteral("/tokenize"), {200, QByteArrayLiteral(R"({"tokens":[1,2,3]})"), 0ms});
        theirs->script(QStringLiteral("/v1/chat/completions"),
                       {200, chatAnswer(QStringLiteral("Send a report.")), 0ms});
        for (const QStringList &allowed :
             {QStringList(), QStringList{QStringLiteral("nobody")}, QStringList{other->name}}) {
            SCOPED_TRACE(qPrintable(theirs->url().toString() + u' ' + allowed.join(QLatin1Char(','))));
            const qsizetype heard = theirs->requests().size();
            auto selector = std::make_unique<LanguageModelSelector>(
                std::make_unique<LlamaServerModel>(scheduler, theirs->url().toString(), allowed));
            const LanguageModelSelector &models = *selector;
            IntelligenceFormatter formatter(scheduler, std::move(selector), QStringLiteral("PocketSphinx"));
            auto task = formatter.format(QStringLiteral("send a report"), DictationMode::clean, {});
            const FormattingResult result = await(task);
            EXPECT_EQ(result.text, QStringLiteral("Send a report."));
            if (allowed.contains(other->name)) {
                EXPECT_EQ(result.formatter, QStringLiteral("qwen2.5-1.5b-instruct-q4_k_m"));
                continue;
            }
            EXPECT_EQ(result.formatter, QStringLiteral("Built-in rules"));
            EXPECT_EQ(theirs->requests().size(), heard) << "not a word sent";
            EXPECT_TRUE(
                models.serverStatus().contains(QStringLiteral("is run by another account (“%1”)").arg(other->name)))
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
    const QString path = folder.filePath(QStringLiteral("llama.sock"));
    ScriptedHttpServer local;
    ASSERT_TRUE(local.listenAt(path));
    ScriptedHttpServer::Response chunked(200, chatAnswer(QStringLiteral("Hello, socket.")));
    chunked.chunked = true;
    local.script(QStringLiteral("/props"), {200, props, 0ms});
    local.script(QStringLiteral("/v1/chat/completions"), chunked);
    local.script(QStringLiteral("/slow"), {200, props, 60000ms});
    local.script(QStringLiteral("/endless"), {200, {}, 0ms, true});

    LlamaServerModel model(scheduler, QStringLiteral("unix:") + path);
    refresh(model);
    EXPECT_EQ(model.availability(), ModelAvailability::ready());
    EXPECT_EQ(ask(model, QStringLiteral("hello socket")).value(), QStringLiteral("Hello, socket."));

    LoopbackHttpClient client(scheduler, local.url());
    auto slow = client.send(QStringLiteral("/slow"), std::nullopt, 5s);
    ASSERT_TRUE(pumpUntil([&] { return local.requests().size() == 3; }));
    scheduler.advance(4999ms);
    EXPECT_FALSE(slow.isDone());
    scheduler.advance(1ms);
    EXPECT_EQ(await(slow).outcome, LoopbackHttpClient::Reply::Outcome::timedOut);
    EXPECT_TRUE(pumpUntil([&] { return local.abandonedByClient() == 1; })) << "the connection is closed";
    auto endless = client.send(QStringLiteral("/endless"), std::nullopt, Duration::zero());
    EXPECT_EQ(await(endless).outcome, LoopbackHttpClient::Reply::Outcome::tooLarge);
    EXPECT_TRUE(pumpUntil([&] { return local.abandonedByClient() == 2; }));
    EXPECT_LT(local.endlessBytesSent(), 8 * LoopbackHttpClient::largestAnswer);

    ASSERT_TRUE(QFile::link(path, folder.filePath(QStringLiteral("link.sock"))));
    QFile plain(folder.filePath(QStringLiteral("plain.sock")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    for (const auto &[name, why] : {std::pair{"link.sock", "is a link: Orvanta does not follow it"},
                                    std::pair{"plain.sock", "names no socket"}}) {
        const QString address = QStringLiteral("unix:") + folder.filePath(QString::fromLatin1(name));
        LoopbackHttpClient refusing(scheduler, LlamaServerModel::loopbackEndpoint(address).value(), {},
                                    QStringLiteral("model server"));
        auto sent = refusing.send(QStringLiteral("/props"), std::nullopt, 5s);
        const auto reply = await(sent);
        EXPECT_EQ(reply.outcome, LoopbackHttpClient::Reply::Outcome::refused);
        EXPECT_TRUE(reply.errorText.startsWith(
            QStringLiteral("The model server address %1 %2").arg(address, QString::fromUtf8(why))))
            << reply.errorText.toStdString();
    }
    EXPECT_EQ(local.requests().size(), 4);
}

// Which spellings are this computer is LoopbackAddress's test; here, that the model uses it and sends nothing.
TEST_F(LlamaServerTest, anAddressOffThisComputerIsNeverAskedAndAnotherChosenWhileRunningIsFromTheNextRefreshOn)
{
    server.script(QStringLiteral("/props"), {200, props, 0ms});
    auto remote = std::make_unique<LlamaServerModel>(scheduler, QStringLiteral("http://192.168.1.20:8080"));
    LlamaServerModel &handle = *remote;
    LanguageModelSelector selector(std::move(remote));
    refresh(selector);
    EXPECT_FALSE(selector.usesServer());
    EXPECT_TRUE(selector.serverStatus().contains(QStringLiteral("is not on this computer")));
    EXPECT_FALSE(ask(handle, QStringLiteral("secret dictation")).hasValue());
    EXPECT_EQ(LlamaServerModel::loopbackEndpoint(QString()).value(), QUrl(QStringLiteral("http://127.0.0.1:8080")));

    handle.setEndpoint(server.url().toString());
    EXPECT_EQ(handle.availability().message,
              QStringLiteral("No local model server answers at ") + server.url().toString() + QStringLiteral("."))
        << "unknown until asked";
    refresh(selector);
    EXPECT_TRUE(selector.usesServer());
    EXPECT_EQ(selector.displayName(), QStringLiteral("qwen2.5-1.5b-instruct-q4_k_m"));
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(LlamaServerTest, aSlowServerIsAbandonedByTheProbeLimitTheDeadlineAndCancellation)
{
    server.script(QStringLiteral("/props"), {200, props, 0ms});
    server.script(QStringLiteral("/tokenize"), {200, QByteArrayLiteral(R"({"tokens":[1]})"), 0ms});
    server.script(QStringLiteral("/v1/chat/completions"), {200, chatAnswer(QStringLiteral("Late.")), 60000ms});
    IntelligenceFormatter formatter(scheduler, makeLocalLanguageModel(scheduler, server.url().toString()),
                                    QStringLiteral("PocketSphinx"));

    auto timedOut = formatter.format(QStringLiteral("hello"), DictationMode::clean, {});
    // /props, the two token counts, then the request that never answers in time.
    ASSERT_TRUE(pumpUntil([&] { return server.requests().size() == 4; }));
    scheduler.advance(25s);
    EXPECT_EQ(await(timedOut).notice, QStringLiteral("qwen2.5-1.5b-instruct-q4_k_m took too long to respond. Kept "
                                                     "your original dictation."));
    EXPECT_TRUE(pumpUntil([&] { return server.abandonedByClient() == 1; })) << "the request is aborted";

    // The model was asked at construction: the next formatting goes straight to the token counts.
    auto cancelled = formatter.format(QStringLiteral("hello"), DictationMode::clean, {});
    ASSERT_TRUE(pumpUntil([&] { return server.requests().size() == 7; }));
    cancelled.cancel();
    scheduler.runPending();
    ASSERT_TRUE(cancelled.isDone()) << "cancellation resumes at once";
    EXPECT_EQ(cancelled.result().notice, QStringLiteral("Formatting was cancelled. Kept your original dictation."));
    EXPECT_TRUE(pumpUntil([&] { return server.abandonedByClient() == 2; }));

    server.script(QStringLiteral("/props"), {200, props, 60000ms});
    LlamaServerModel model(scheduler, server.url().toString());
    auto probe = model.refresh();
    ASSERT_TRUE(pumpUntil([&] { return server.requests().size() == 8; }));
    scheduler.advance(LlamaServerModel::probeTimeLimit);
    EXPECT_TRUE(pumpUntil([&] { return probe.isDone(); }));
    EXPECT_EQ(model.availability().message,
              QStringLiteral("No local model server answers at ") + server.url().toString() + QStringLiteral("."));
    EXPECT_TRUE(pumpUntil([&] { return server.abandonedByClient() == 3; }));
}
