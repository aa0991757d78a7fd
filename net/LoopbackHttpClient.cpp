#include "net/LoopbackHttpClient.h"

#include "base/UnixEndpoint.h"
#include "net/ServerOwner.h"
#include "net/UnixHttpExchange.h"

#include <QFile>
#include <QJsonDocument>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

namespace orv {

struct LoopbackHttpClient::Pending
{
    QPointer<QNetworkReply> reply;
    QPointer<UnixHttpExchange> local; // instead of reply, for a server on a Unix socket
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
        if (local) {
            local->stop();
            local = nullptr;
        }
        LoopbackHttpClient::Reply ended;
        ended.outcome = outcome;
        // Resume the waiting task from the loop, never from inside cancel().
        AsyncValue<LoopbackHttpClient::Reply> value = result;
        scheduler.post([value, ended] { value.resolve(ended); });
    }
};

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

    QString base = unixendpoint::httpPath(m_endpoint);
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    auto pending = std::make_shared<Pending>();
    std::weak_ptr<Pending> weak = pending;
    Scheduler &scheduler = m_scheduler;
    if (unixendpoint::isUnix(m_endpoint)) {
        const auto onEnded = [weak](Reply answer) {
            if (auto state = weak.lock()) {
                state->local = nullptr;
                state->result.resolve(std::move(answer));
            }
        };
        QByteArray bytes = UnixHttpExchange::request(base + path, body, contentType);
        pending->local = new UnixHttpExchange(m_endpoint, m_allowedAccounts, m_server, std::move(bytes), onEnded);
        pending->local->start();
    } else {
        startNetworkRequest(pending, base + path, std::move(body), contentType);
    }
    if (timeLimit > Duration::zero() && !pending->result.isResolved()) {
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

void LoopbackHttpClient::startNetworkRequest(const std::shared_ptr<Pending> &pending,
                                             const QString &path,
                                             std::optional<QByteArray> body,
                                             const QByteArray &contentType)
{
    QUrl url = m_endpoint;
    url.setPath(path);
    QNetworkRequest httpRequest(url);
    httpRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    httpRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    if (body)
        httpRequest.setHeader(QNetworkRequest::ContentTypeHeader, contentType);

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
}

namespace {

struct Fetch
{
    QPointer<QNetworkReply> reply;
    AsyncValue<LoopbackHttpClient::Download> result;
    Scheduler::TimerId idle = 0;
    QFile file;
    qint64 total = -1;
    bool started = false; // the status line was taken
    bool ended = false;

    void end(Scheduler &scheduler, LoopbackHttpClient::Download::Outcome outcome, int status = 0, QString error = {})
    {
        if (ended)
            return;
        ended = true;
        if (idle) {
            scheduler.cancel(idle);
            idle = 0;
        }
        if (reply) {
            QNetworkReply *doomed = reply;
            reply = nullptr;
            doomed->abort(); // its finished() finds the fetch ended
            doomed->deleteLater();
        }
        file.close();
        const LoopbackHttpClient::Download answer{outcome, status, std::move(error)};
        AsyncValue<LoopbackHttpClient::Download> value = result;
        scheduler.post([value, answer] { value.resolve(answer); });
    }
};

} // namespace

Task<LoopbackHttpClient::Download>
LoopbackHttpClient::download(QUrl url, QString path, DownloadProgress onProgress, Duration idleLimit)
{
    using Outcome = Download::Outcome;
    CancelToken token = co_await currentCancellation();
    if (token->isCancelled())
        co_return Download{Outcome::cancelled, 0, {}};
    auto fetch = std::make_shared<Fetch>();
    fetch->file.setFileName(path);
    if (!fetch->file.open(QIODevice::ReadWrite))
        co_return Download{Outcome::writeFailed, 0, fetch->file.errorString()};
    const qint64 have = fetch->file.size();
    fetch->file.seek(have);

    QNetworkRequest httpRequest(url);
    httpRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    httpRequest.setMaximumRedirectsAllowed(5);
    httpRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    if (have > 0)
        httpRequest.setRawHeader("Range", "bytes=" + QByteArray::number(have) + '-');
    QNetworkReply *reply = m_manager.get(httpRequest);
    fetch->reply = reply;
    reply->setReadBufferSize(256 * 1024);
    std::weak_ptr<Fetch> weak = fetch;
    Scheduler &scheduler = m_scheduler;
    const auto armIdle = [weak, &scheduler, idleLimit] {
        auto state = weak.lock();
        if (!state || idleLimit <= Duration::zero())
            return;
        if (state->idle)
            scheduler.cancel(state->idle);
        state->idle = scheduler.schedule(idleLimit, [weak, &scheduler] {
            if (auto state = weak.lock()) {
                state->idle = 0;
                state->end(scheduler, Outcome::stalled);
            }
        });
    };
    // The status decides whether the bytes continue the file or start it over.
    const auto take = [weak, reply, &scheduler, have, onProgress, armIdle] {
        auto state = weak.lock();
        if (!state || state->ended)
            return false;
        if (!state->started) {
            const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
            if (!status.isValid())
                return true;
            const int code = status.toInt();
            if (code != 200 && code != 206) {
                state->end(scheduler, Outcome::refused, code);
                return false;
            }
            state->started = true;
            const qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
            const bool resumed = code == 206 && have > 0;
            if (!resumed && (!state->file.resize(0) || !state->file.seek(0))) {
                state->end(scheduler, Outcome::writeFailed, 0, state->file.errorString());
                return false;
            }
            state->total = length > 0 ? (resumed ? have : 0) + length : -1;
        }
        const QByteArray bytes = reply->readAll();
        if (!bytes.isEmpty() && state->file.write(bytes) != bytes.size()) {
            state->end(scheduler, Outcome::writeFailed, 0, state->file.errorString());
            return false;
        }
        armIdle();
        if (onProgress && !bytes.isEmpty())
            onProgress(state->file.pos(), state->total);
        return true;
    };
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [take] { take(); });
    QObject::connect(reply, &QNetworkReply::finished, reply, [weak, reply, &scheduler, take] {
        if (!take())
            return;
        auto state = weak.lock();
        if (!state)
            return;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const QNetworkReply::NetworkError error = reply->error();
        const bool whole = state->total < 0 || state->file.pos() == state->total;
        if (!status.isValid())
            state->end(scheduler, Outcome::unreachable, 0, reply->errorString());
        else if (error != QNetworkReply::NoError || !whole)
            state->end(scheduler, Outcome::interrupted, status.toInt(), reply->errorString());
        else if (!state->file.flush())
            state->end(scheduler, Outcome::writeFailed, 0, state->file.errorString());
        else
            state->end(scheduler, Outcome::complete, status.toInt());
    });
    armIdle();
    const auto link = token->onCancel([weak, &scheduler] {
        if (auto state = weak.lock())
            state->end(scheduler, Outcome::cancelled);
    });
    Download answer = co_await fetch->result;
    token->removeCallback(link);
    co_return answer;
}

} // namespace orv
