#pragma once

#include "base/Task.h"

namespace orv {

enum class AuthorizationStatus
{
    notDetermined,
    restricted,
    denied,
    authorized,
    unknown
};

// Microphone and speech-recognition permission as the platform reports them. On Linux the microphone is
// authorized when an input source exists and denied when the sound server refuses us; recognition is
// local and always authorized.
class Permissions
{
public:
    virtual ~Permissions() = default;

    virtual AuthorizationStatus microphoneStatus() const = 0;
    virtual AuthorizationStatus speechStatus() const = 0;
    // Asks the platform for microphone access; answers whether it was granted.
    virtual Task<bool> requestMicrophoneAccess() = 0;
    // Asks for speech-recognition authorization; answers the new status.
    virtual Task<AuthorizationStatus> requestSpeechAuthorization() = 0;
};

} // namespace orv
