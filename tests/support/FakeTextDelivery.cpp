#include "tests/support/FakeTextDelivery.h"

using namespace Qt::StringLiterals;

namespace orv::test {

FakeTextDelivery::~FakeTextDelivery()
{
    for (const auto &reply : std::as_const(replies))
        reply.abandon();
}

bool FakeTextDelivery::prepare()
{
    calls.append(u"prepare"_s);
    capturedName = focusedName;
    return !focusedName.isEmpty();
}

Task<DeliveryResult> FakeTextDelivery::deliver(QString text, bool observe, QString dictated)
{
    calls.append(u"deliver"_s);
    deliverCalls.append(DeliverCall{text, observe, dictated});
    return answerOrWait(answer, replies);
}

} // namespace orv::test
