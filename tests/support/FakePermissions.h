#pragma once

#include "speech/Permissions.h"

namespace orv::test {

// Scripted permission answers; a held prompt waits until the test answers it.
class FakePermissions final : public Permissions
{
public:
    AuthorizationStatus microphone = AuthorizationStatus::authorized;
    AuthorizationStatus speech = AuthorizationStatus::authorized;
    bool grantMicrophone = true;
    AuthorizationStatus speechAnswer = AuthorizationStatus::authorized;
    bool holdMicrophonePrompt = false;
    bool holdSpeechPrompt = false;
    AsyncValue<bool> microphonePrompt;
    AsyncValue<AuthorizationStatus> speechPrompt;
    int microphoneRequests = 0;
    int speechRequests = 0;

    AuthorizationStatus microphoneStatus() const override { return microphone; }
    AuthorizationStatus speechStatus() const override { return speech; }
    Task<bool> requestMicrophoneAccess() override;
    Task<AuthorizationStatus> requestSpeechAuthorization() override;
};

} // namespace orv::test
