#pragma once

#include "delivery/AbstractTextDelivery.h"
#include "tests/support/ScriptedAnswers.h"

#include <QList>
#include <QStringList>

#include <optional>

namespace orv::test {

// Scripts the desktop side of delivery and records what the model asked of it, in order, in `calls`.
class FakeTextDelivery final : public AbstractTextDelivery
{
public:
    // Answers still held end their waiters, as a platform's pending answers do when it goes.
    ~FakeTextDelivery() override
    {
        for (const auto &reply : std::as_const(replies))
            reply.abandon();
    }

    struct DeliverCall
    {
        QString text;
        bool observe;
        QString dictated;
    };

    bool prepare() override
    {
        calls.append(QStringLiteral("prepare"));
        capturedName = focusedName;
        return !focusedName.isEmpty();
    }
    void cancelCapture() override { calls.append(QStringLiteral("cancelCapture")); }
    void stopObservation() override { calls.append(QStringLiteral("stopObservation")); }
    QString targetApplicationName() const override { return capturedName; }
    Task<DeliveryResult> deliver(QString text, bool observe, QString dictated = {}) override
    {
        calls.append(QStringLiteral("deliver"));
        deliverCalls.append(DeliverCall{text, observe, dictated});
        return answerOrWait(answer, replies);
    }
    bool copyToClipboard(const QString &text) override
    {
        copied.append(text);
        return true;
    }
    bool isTrusted() const override { return trusted; }
    std::optional<ApplicationInfo> frontmostApplication() const override { return frontmost; }
    bool prepareProcess(qint64 processID) override
    {
        preparedProcesses.append(processID);
        return true;
    }
    qint64 ownProcessID() const override { return 1000; }

    void reportCorrection(const QString &previous, const QString &edited) const
    {
        callIfSet(onCorrection, previous, edited);
    }

    // The application focused now; prepare() captures its name.
    QString focusedName = QStringLiteral("Editor");
    QString capturedName;
    bool trusted = true;
    std::optional<ApplicationInfo> frontmost;
    std::optional<DeliveryResult> answer =
        DeliveryResult{DeliveryResult::Outcome::inserted, QStringLiteral("Inserted.")};
    QList<AsyncValue<DeliveryResult>> replies;

    QStringList calls;
    QList<DeliverCall> deliverCalls;
    QStringList copied;
    QList<qint64> preparedProcesses;
};

} // namespace orv::test
