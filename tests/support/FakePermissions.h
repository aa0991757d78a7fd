#pragma once

#include "speech/Permissions.h"

#include <QList>

namespace orv::test {

// Scripts the platform's permission answers. A request waits until the test answers it with
// answerMicrophone()/answerSpeech(), which also set the status the platform then reports.
class FakePermissions final : public Permissions
{
public:
    AuthorizationStatus microphoneStatus() const override { return microphone; }
    AuthorizationStatus speechStatus() const override { return speech; }
    Task<bool> requestMicrophoneAccess() override;
    Task<AuthorizationStatus> requestSpeechAuthorization() override;

    void answerMicrophone(bool granted);
    void answerSpeech(AuthorizationStatus status);

    AuthorizationStatus microphone = AuthorizationStatus::authorized;
    AuthorizationStatus speech = AuthorizationStatus::authorized;
    int microphoneRequests = 0;
    int speechRequests = 0;
    QList<AsyncValue<bool>> microphoneReplies;
    QList<AsyncValue<AuthorizationStatus>> speechReplies;
};

} // namespace orv::test
