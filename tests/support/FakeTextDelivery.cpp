#include "tests/support/FakeTextDelivery.h"

namespace orv::test {

FakeTextDelivery::~FakeTextDelivery()
{
    for (const auto &reply : std::as_const(replies))
        reply.abandon();
}

bool FakeTextDelivery::prepare()
{
    calls.append(QStringLiteral("prepare"));
    capturedName = focusedName;
    return !focusedName.isEmpty();
}

Task<DeliveryResult> FakeTextDelivery::deliver(QString text, bool observe, QString dictated)
{
    calls.append(QStringLiteral("deliver"));
    deliverCalls.append(DeliverCall{text, observe, dictated});
    if (answer)
        co_return *answer;
    AsyncValue<DeliveryResult> reply;
    replies.append(reply);
    co_return co_await reply;
}

bool FakeTextDelivery::prepareProcess(qint64 processID)
{
    preparedProcesses.append(processID);
    return true;
}

void FakeTextDelivery::reportCorrection(const QString &previous, const QString &edited) const
{
    if (onCorrection)
        onCorrection(previous, edited);
}

void FakeTextDelivery::reportNotice(const QString &text) const
{
    if (onNotice)
        onNotice(text);
}

} // namespace orv::test
