#pragma once

#include "speech/Permissions.h"

namespace orv {

// The microphone is authorized when the sound server answers with an input source, denied when it
// refuses us, and not determined when there is no server or no source (the start then reports the
// missing microphone). Recognition is local: always authorized.
class PulsePermissions final : public Permissions
{
public:
    AuthorizationStatus microphoneStatus() const override;
    AuthorizationStatus speechStatus() const override { return AuthorizationStatus::authorized; }
    Task<bool> requestMicrophoneAccess() override;
    Task<AuthorizationStatus> requestSpeechAuthorization() override;
};

} // namespace orv
