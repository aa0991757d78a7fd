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
    ~FakeTextDelivery() override;

    struct DeliverCall
    {
        QString text;
        bool observe;
        QString dictated;
    };

    bool prepare() override;
    void cancelCapture() override { calls.append(QStringLiteral("cancelCapture")); }
    void stopObservation() override { calls.append(QStringLiteral("stopObservation")); }
    QString targetApplicationName() const override { return capturedName; }
    Task<DeliveryResult> deliver(QString text, bool observe, QString dictated = {}) override;
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
    qint64 ownProcessID() const override { return ownPid; }

    void reportCorrection(const QString &previous, const QString &edited) const
    {
        callIfSet(onCorrection, previous, edited);
    }

    // The application focused now; prepare() captures its name.
    QString focusedName = QStringLiteral("Editor");
    QString capturedName;
    bool trusted = true;
    std::optional<ApplicationInfo> frontmost;
    qint64 ownPid = 1000;
    std::optional<DeliveryResult> answer =
        DeliveryResult{DeliveryResult::Outcome::inserted, QStringLiteral("Inserted.")};
    QList<AsyncValue<DeliveryResult>> replies;

    QStringList calls;
    QList<DeliverCall> deliverCalls;
    QStringList copied;
    QList<qint64> preparedProcesses;
};

} // namespace orv::test
