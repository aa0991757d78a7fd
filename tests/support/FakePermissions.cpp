#include "tests/support/FakePermissions.h"

namespace orv::test {

FakePermissions::~FakePermissions()
{
    microphonePrompt.abandon();
    speechPrompt.abandon();
}

Task<bool> FakePermissions::requestMicrophoneAccess()
{
    ++microphoneRequests;
    if (holdMicrophonePrompt)
        co_return co_await microphonePrompt;
    co_return grantMicrophone;
}

Task<AuthorizationStatus> FakePermissions::requestSpeechAuthorization()
{
    ++speechRequests;
    if (holdSpeechPrompt)
        co_return co_await speechPrompt;
    co_return speechAnswer;
}

void FakePermissions::answerMicrophone(bool granted)
{
    microphone = granted ? AuthorizationStatus::authorized : AuthorizationStatus::denied;
    microphonePrompt.resolve(granted);
}

void FakePermissions::answerSpeech(AuthorizationStatus status)
{
    speech = status;
    speechPrompt.resolve(status);
}

} // namespace orv::test
