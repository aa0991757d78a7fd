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
    return answerOrWait(answer, replies);
}

} // namespace orv::test
