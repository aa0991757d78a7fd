#include "tests/support/FakePermissions.h"

namespace orv::test {

Task<bool> FakePermissions::requestMicrophoneAccess()
{
    ++microphoneRequests;
    AsyncValue<bool> reply;
    microphoneReplies.append(reply);
    co_return co_await reply;
}

Task<AuthorizationStatus> FakePermissions::requestSpeechAuthorization()
{
    ++speechRequests;
    AsyncValue<AuthorizationStatus> reply;
    speechReplies.append(reply);
    co_return co_await reply;
}

void FakePermissions::answerMicrophone(bool granted)
{
    microphone = granted ? AuthorizationStatus::authorized : AuthorizationStatus::denied;
    microphoneReplies.last().resolve(granted);
}

void FakePermissions::answerSpeech(AuthorizationStatus status)
{
    speech = status;
    speechReplies.last().resolve(status);
}

} // namespace orv::test
