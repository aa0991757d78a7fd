#pragma once

#include "speech/Permissions.h"

namespace orv::test {

// Scripted permission answers. A prompt answers at once (grantMicrophone; speech is authorized) unless it is
// held; a held prompt waits until the test resolves microphonePrompt / speechPrompt, or calls answerMicrophone() /
// answerSpeech(), which also make the answer the status the platform reports from then on, as a real
// prompt does.
class FakePermissions final : public Permissions
{
public:
    // Answers still held end their waiters, as a platform's pending answers do when it goes.
    ~FakePermissions() override
    {
        microphonePrompt.abandon();
        speechPrompt.abandon();
    }

    AuthorizationStatus microphone = AuthorizationStatus::authorized;
    AuthorizationStatus speech = AuthorizationStatus::authorized;
    bool grantMicrophone = true;
    bool holdMicrophonePrompt = false;
    bool holdSpeechPrompt = false;
    AsyncValue<bool> microphonePrompt;
    AsyncValue<AuthorizationStatus> speechPrompt;
    int microphoneRequests = 0;
    int speechRequests = 0;

    AuthorizationStatus microphoneStatus() const override { return microphone; }
    AuthorizationStatus speechStatus() const override { return speech; }
    Task<bool> requestMicrophoneAccess() override
    {
        ++microphoneRequests;
        if (holdMicrophonePrompt)
            co_return co_await microphonePrompt;
        co_return grantMicrophone;
    }
    Task<AuthorizationStatus> requestSpeechAuthorization() override
    {
        ++speechRequests;
        if (holdSpeechPrompt)
            co_return co_await speechPrompt;
        co_return AuthorizationStatus::authorized;
    }

    // The user answers a held prompt.
    void answerMicrophone(bool granted)
    {
        microphone = granted ? AuthorizationStatus::authorized : AuthorizationStatus::denied;
        microphonePrompt.resolve(granted);
    }
    void answerSpeech(AuthorizationStatus status)
    {
        speech = status;
        speechPrompt.resolve(status);
    }
};

} // namespace orv::test
