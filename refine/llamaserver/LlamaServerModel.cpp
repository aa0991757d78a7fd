#include "refine/llamaserver/LlamaServerModel.h"

#include "base/CleanText.h"
#include "library/LinuxSettings.h"
#include "library/LoopbackAddress.h"
#include "net/LoopbackHttpClient.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace orv {

namespace {

using Reply = LoopbackHttpClient::Reply;

std::optional<QJsonObject> jsonObject(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

QString notAnswering(const QUrl &endpoint)
{
    return QStringLiteral("No local model server answers at ") + endpoint.toString() + QLatin1Char('.');
}

QString unreadable(const QUrl &endpoint)
{
    return QStringLiteral("The model server at ") + endpoint.toString() +
           QStringLiteral(" sent an answer Orvanta cannot read.");
}

QString tooLong(const QUrl &endpoint)
{
    return QStringLiteral("The model server at ") + endpoint.toString() +
           QStringLiteral(" sent an answer longer than 1200 tokens can be.");
}

// The server's own words for a failed request, when it gave any.
QString serverMessage(const QByteArray &body)
{
    if (const auto object = jsonObject(body)) {
        const QJsonValue error = object->value(QStringLiteral("error"));
        if (error.isObject())
            return cleanText(error.toObject().value(QStringLiteral("message")).toString(), false);
        if (error.isString())
            return cleanText(error.toString(), false);
    }
    return {};
}

ModelError requestFailure(const Reply &reply, const QUrl &endpoint, const QString &modelName)
{
    switch (reply.outcome) {
    case Reply::Outcome::cancelled:
        return ModelError::cancellation();
    case Reply::Outcome::timedOut:
        return ModelError::failure(QStringLiteral("The model server at ") + endpoint.toString() +
                                   QStringLiteral(" did not answer in time."));
    case Reply::Outcome::unreachable:
    case Reply::Outcome::interrupted:
        return ModelError::failure(notAnswering(endpoint));
    case Reply::Outcome::tooLarge:
        return ModelError::failure(tooLong(endpoint));
    case Reply::Outcome::refused:
        return ModelError::failure(reply.errorText);
    case Reply::Outcome::answered:
        break;
    }
    if (reply.status == 503)
        return ModelError::failure(modelName + QStringLiteral(" is still loading its model."));
    const QString message = serverMessage(reply.body);
    return ModelError::failure(QStringLiteral("The model server answered with error ") + QString::number(reply.status) +
                               (message.isEmpty()
                                    ? QStringLiteral(".")
                                    : QStringLiteral(": ") + message +
                                          (message.endsWith(QLatin1Char('.')) ? QString() : QStringLiteral("."))));
}

class LlamaServerSession final : public LanguageModelSession
{
public:
    LlamaServerSession(std::shared_ptr<LoopbackHttpClient> client, QString instructions, QString modelName)
        : m_client(std::move(client)), m_instructions(std::move(instructions)), m_modelName(std::move(modelName))
    {}

    Task<Expected<QString, ModelError>> respond(QString prompt, GenerationOptions options) override
    {
        if (!m_client)
            co_return unexpected(ModelError::failure(QStringLiteral("No local model server is configured.")));
        QJsonArray messages;
        messages.append(QJsonObject{{QStringLiteral("role"), QStringLiteral("system")},
                                    {QStringLiteral("content"), m_instructions}});
        messages.append(
            QJsonObject{{QStringLiteral("role"), QStringLiteral("user")}, {QStringLiteral("content"), prompt}});
        QJsonObject body{{QStringLiteral("messages"), messages},
                         {QStringLiteral("max_tokens"), options.maximumResponseTokens},
                         {QStringLiteral("n_predict"), options.maximumResponseTokens},
                         {QStringLiteral("stream"), false}};
        if (options.greedy) {
            // Greedy decoding: always the most likely token.
            body.insert(QStringLiteral("top_k"), 1);
            body.insert(QStringLiteral("temperature"), 0);
        }
        // Nothing of this session is touched after the suspension: the caller may have let it go.
        std::shared_ptr<LoopbackHttpClient> client = m_client;
        const QString modelName = m_modelName;
        QString path = QStringLiteral("/v1/chat/completions");
        const Reply reply = co_await client->send(std::move(path), std::move(body), Duration::zero());
        if (reply.outcome != Reply::Outcome::answered || reply.status != 200)
            co_return unexpected(requestFailure(reply, client->endpoint(), modelName));
        const auto object = jsonObject(reply.body);
        const QJsonValue content = object ? object->value(QStringLiteral("choices"))
                                                .toArray()
                                                .at(0)
                                                .toObject()
                                                .value(QStringLiteral("message"))
                                                .toObject()
                                                .value(QStringLiteral("content"))
                                          : QJsonValue();
        if (!content.isString())
            co_return unexpected(ModelError::failure(unreadable(client->endpoint())));
        co_return content.toString();
    }

private:
    std::shared_ptr<LoopbackHttpClient> m_client;
    QString m_instructions;
    QString m_modelName;
};

QString nameFromProps(const QJsonObject &props)
{
    const QString alias = cleanText(props.value(QStringLiteral("model_alias")).toString(), false).trimmed();
    if (!alias.isEmpty())
        return alias;
    const QString path = cleanText(props.value(QStringLiteral("model_path")).toString(), false).trimmed();
    if (!path.isEmpty()) {
        QString name = QFileInfo(path).fileName();
        if (name.endsWith(QStringLiteral(".gguf"), Qt::CaseInsensitive))
            name.chop(5);
        if (!name.isEmpty())
            return name;
    }
    return LlamaServerModel::genericName();
}

int contextFromProps(const QJsonObject &props)
{
    const QJsonValue settings = props.value(QStringLiteral("default_generation_settings"));
    int context = settings.toObject().value(QStringLiteral("n_ctx")).toInt(0);
    if (context <= 0)
        context = props.value(QStringLiteral("n_ctx")).toInt(0);
    return context;
}

} // namespace

Expected<QUrl, QString> LlamaServerModel::loopbackEndpoint(const QString &text)
{
    return loopbackServerUrl(text.trimmed().isEmpty() ? LinuxSettings::defaultLanguageModelEndpoint() : text,
                             QStringLiteral("model server"));
}

LlamaServerModel::LlamaServerModel(Scheduler &scheduler, const QString &endpoint, const QStringList &allowedAccounts)
    : m_scheduler(scheduler)
{
    setEndpoint(endpoint, allowedAccounts);
}

void LlamaServerModel::setEndpoint(const QString &endpoint, const QStringList &allowedAccounts)
{
    // A fresh state: a refresh of the old address still under way writes into the old one.
    m_state = std::make_shared<State>();
    m_state->name = genericName();
    const Expected<QUrl, QString> url = loopbackEndpoint(endpoint);
    if (url) {
        m_client = std::make_shared<LoopbackHttpClient>(m_scheduler, url.value(), allowedAccounts,
                                                        QStringLiteral("model server"));
        m_state->availability =
            ModelAvailability::unavailable(ModelAvailability::Reason::other, notAnswering(url.value()));
    } else {
        m_client.reset();
        m_state->availability = ModelAvailability::unavailable(ModelAvailability::Reason::other, url.error());
    }
}

LlamaServerModel::~LlamaServerModel() = default;

Task<void> LlamaServerModel::refresh()
{
    if (!m_client)
        co_return;
    std::shared_ptr<LoopbackHttpClient> client = m_client;
    std::shared_ptr<State> state = m_state;
    QString path = QStringLiteral("/props");
    const Reply reply = co_await client->send(std::move(path), std::nullopt, probeTimeLimit);
    const QUrl &endpoint = client->endpoint();
    switch (reply.outcome) {
    case Reply::Outcome::cancelled:
        co_return; // nothing learned
    case Reply::Outcome::unreachable:
    case Reply::Outcome::interrupted:
    case Reply::Outcome::timedOut:
        state->availability = ModelAvailability::unavailable(ModelAvailability::Reason::other, notAnswering(endpoint));
        co_return;
    case Reply::Outcome::tooLarge:
        state->availability = ModelAvailability::unavailable(ModelAvailability::Reason::other, unreadable(endpoint));
        co_return;
    case Reply::Outcome::refused:
        state->availability = ModelAvailability::unavailable(ModelAvailability::Reason::other, reply.errorText);
        co_return;
    case Reply::Outcome::answered:
        break;
    }
    if (reply.status == 503) {
        state->availability = ModelAvailability::unavailable(ModelAvailability::Reason::modelNotReady);
        co_return;
    }
    const auto props = jsonObject(reply.body);
    if (reply.status != 200 || !props) {
        state->availability = ModelAvailability::unavailable(
            ModelAvailability::Reason::other, reply.status != 200
                                                  ? QStringLiteral("The server at ") + endpoint.toString() +
                                                        QStringLiteral(" is not a llama.cpp model server (HTTP ") +
                                                        QString::number(reply.status) + QStringLiteral(").")
                                                  : unreadable(endpoint));
        co_return;
    }
    const int context = contextFromProps(*props);
    if (context <= 0) {
        state->availability = ModelAvailability::unavailable(ModelAvailability::Reason::other, unreadable(endpoint));
        co_return;
    }
    state->name = nameFromProps(*props);
    state->contextSize = context;
    state->availability = ModelAvailability::ready();
}

Task<Expected<int, ModelError>> LlamaServerModel::tokenCount(QString text)
{
    if (!m_client)
        co_return unexpected(ModelError::failure(m_state->availability.message));
    std::shared_ptr<LoopbackHttpClient> client = m_client;
    const QString name = m_state->name;
    QString path = QStringLiteral("/tokenize");
    QJsonObject body{{QStringLiteral("content"), text}};
    const Reply reply = co_await client->send(std::move(path), std::move(body), tokenCountTimeLimit);
    if (reply.outcome != Reply::Outcome::answered || reply.status != 200)
        co_return unexpected(requestFailure(reply, client->endpoint(), name));
    const auto object = jsonObject(reply.body);
    const QJsonValue tokens = object ? object->value(QStringLiteral("tokens")) : QJsonValue();
    if (!tokens.isArray())
        co_return unexpected(ModelError::failure(unreadable(client->endpoint())));
    co_return int(tokens.toArray().size());
}

std::shared_ptr<LanguageModelSession> LlamaServerModel::makeSession(QString instructions)
{
    return std::make_shared<LlamaServerSession>(m_client, std::move(instructions), m_state->name);
}

} // namespace orv
