#pragma once

#include "base/Scheduler.h"
#include "base/Task.h"

#include <QByteArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QString>
#include <QUrl>

#include <optional>

namespace orv {

// HTTP to one llama.cpp server on loopback: no proxy, no redirects, every request abortable by the
// awaiting task's cancellation or by a time limit on the scheduler.
class LlamaServerClient
{
public:
    struct Reply
    {
        enum class Outcome
        {
            answered,
            unreachable,
            timedOut,
            cancelled,
            tooLarge, // the body grew past largestAnswer and was cut off
        };
        Outcome outcome = Outcome::unreachable;
        int status = 0; // HTTP status when answered
        QByteArray body;
        QString errorText; // the network error when unreachable
    };

    // The longest body read. An answer of 1200 tokens (each at most a few dozen bytes of text, JSON escaping
    // can make a byte six) with the server's envelope stays far below it.
    static constexpr qint64 largestAnswer = 1024 * 1024;

    LlamaServerClient(Scheduler &scheduler, QUrl endpoint);

    const QUrl &endpoint() const { return m_endpoint; }

    // GET when body is empty, POST with a JSON body otherwise. timeLimit zero: no limit of its own.
    Task<Reply> send(QString path, std::optional<QJsonObject> body, Duration timeLimit);

private:
    Scheduler &m_scheduler;
    QUrl m_endpoint;
    QNetworkAccessManager m_manager;
};

} // namespace orv
