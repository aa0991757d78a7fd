#include "net/LoopbackHttpClient.h"

#include "net/ServerOwner.h"

#include <QJsonDocument>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

namespace orv {

namespace {

struct Pending
{
    QPointer<QNetworkReply> reply;
    QMetaObject::Connection onFinished;
    AsyncValue<LoopbackHttpClient::Reply> result;
    Scheduler::TimerId timer = 0;
    QByteArray body; // what has arrived so far

    // Ends the request without waiting for its reply.
    void abandon(Scheduler &scheduler, LoopbackHttpClient::Reply::Outcome outcome)
    {
        if (result.isResolved())
            return;
        if (timer) {
            scheduler.cancel(timer);
            timer = 0;
        }
        if (reply) {
            QNetworkReply *doomed = reply;
            reply = nullptr;
            // Only our own connection: the reply's internal ones carry the abort to the HTTP thread.
            QObject::disconnect(onFinished);
            doomed->abort();
            doomed->deleteLater();
        }
        LoopbackHttpClient::Reply ended;
        ended.outcome = outcome;
        // Resume the waiting task from the loop, never from inside cancel().
        AsyncValue<LoopbackHttpClient::Reply> value = result;
        scheduler.post([value, ended] { value.resolve(ended); });
    }
};

} // namespace

LoopbackHttpClient::LoopbackHttpClient(Scheduler &scheduler, QUrl endpoint, QStringList allowedAccounts, QString server)
    : m_scheduler(scheduler), m_endpoint(std::move(endpoint)), m_allowedAccounts(std::move(allowedAccounts)),
      m_server(std::move(server))
{
    // Dictations go to this computer's server only, never through a proxy.
    m_manager.setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
}

Task<LoopbackHttpClient::Reply>
LoopbackHttpClient::send(QString path, std::optional<QJsonObject> body, Duration timeLimit)
{
    std::optional<QByteArray> bytes;
    if (body)
        bytes = QJsonDocument(*body).toJson(QJsonDocument::Compact);
    return request(std::move(path), std::move(bytes), QByteArrayLiteral("application/json"), timeLimit);
}

Task<LoopbackHttpClient::Reply>
LoopbackHttpClient::post(QString path, QByteArray body, QByteArray contentType, Duration timeLimit)
{
    return request(std::move(path), std::move(body), std::move(contentType), timeLimit);
}

Task<LoopbackHttpClient::Reply>
LoopbackHttpClient::request(QString path, std::optional<QByteArray> body, QByteArray contentType, Duration timeLimit)
{
    CancelToken token = co_await currentCancellation();
    if (token->isCancelled()) {
        Reply cancelled;
        cancelled.outcome = Reply::Outcome::cancelled;
        co_return cancelled;
    }

    // Loopback is open to every account on the computer: ask who listens before sending a word. Nothing
    // listening is no server, whoever might start one between now and the connection.
    const Expected<bool, QString> owner = ServerOwner::check(m_endpoint, m_allowedAccounts, m_server);
    if (!owner || !owner.value()) {
        Reply refused;
        refused.outcome = owner ? Reply::Outcome::unreachable : Reply::Outcome::refused;
        refused.errorText = owner ? QStringLiteral("Connection refused") : owner.error();
        co_return refused;
    }

    QUrl url = m_endpoint;
    QString base = url.path();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    url.setPath(base + path);
    QNetworkRequest httpRequest(url);
    httpRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    httpRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    if (body)
        httpRequest.setHeader(QNetworkRequest::ContentTypeHeader, contentType);

    auto pending = std::make_shared<Pending>();
    QNetworkReply *reply = body ? m_manager.post(httpRequest, *body) : m_manager.get(httpRequest);
    pending->reply = reply;
    std::weak_ptr<Pending> weak = pending;
    pending->onFinished = QObject::connect(reply, &QNetworkReply::finished, reply, [weak, reply] {
        auto state = weak.lock();
        reply->deleteLater();
        if (!state || state->result.isResolved())
            return;
        state->reply = nullptr;
        Reply answer;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        // Network-level errors after the status line mean the body was cut short: it is no answer.
        const QNetworkReply::NetworkError error = reply->error();
        const bool cutShort = error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
        if (status.isValid() && cutShort) {
            answer.outcome = Reply::Outcome::interrupted;
            answer.errorText = reply->errorString();
        } else if (status.isValid()) {
            answer.outcome = Reply::Outcome::answered;
            answer.status = status.toInt();
            answer.body = state->body + reply->readAll();
            if (answer.body.size() > largestAnswer) {
                answer.outcome = Reply::Outcome::tooLarge;
                answer.body.clear();
            }
        } else {
            answer.outcome = Reply::Outcome::unreachable;
            answer.errorText = reply->errorString();
        }
        state->result.resolve(answer);
    });

    Scheduler &scheduler = m_scheduler;
    // The body is taken as it arrives, a little at a time, so that a server that never stops sending is
    // cut off after largestAnswer bytes instead of filling memory.
    reply->setReadBufferSize(64 * 1024);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [weak, reply, &scheduler] {
        auto state = weak.lock();
        if (!state || state->result.isResolved())
            return;
        state->body += reply->readAll();
        if (state->body.size() > largestAnswer)
            state->abandon(scheduler, Reply::Outcome::tooLarge);
    });
    if (timeLimit > Duration::zero()) {
        pending->timer = scheduler.schedule(timeLimit, [weak, &scheduler] {
            if (auto state = weak.lock()) {
                state->timer = 0;
                state->abandon(scheduler, Reply::Outcome::timedOut);
            }
        });
    }
    const auto link = token->onCancel([weak, &scheduler] {
        if (auto state = weak.lock())
            state->abandon(scheduler, Reply::Outcome::cancelled);
    });

    Reply answer = co_await pending->result;
    token->removeCallback(link);
    if (pending->timer)
        scheduler.cancel(pending->timer);
    co_return answer;
}

} // namespace orv
