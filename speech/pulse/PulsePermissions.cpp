#include "speech/pulse/PulsePermissions.h"

#include "speech/pulse/PulseConnection.h"

namespace orv {

AuthorizationStatus PulsePermissions::microphoneStatus() const
{
    const PulseConnection connection;
    switch (connection.state()) {
    case PulseConnection::State::refused:
        return AuthorizationStatus::denied;
    case PulseConnection::State::noServer:
        return AuthorizationStatus::notDetermined;
    case PulseConnection::State::connected:
        break;
    }
    return connection.sourceSpec().rate > 0 ? AuthorizationStatus::authorized : AuthorizationStatus::notDetermined;
}

Task<bool> PulsePermissions::requestMicrophoneAccess()
{
    co_return microphoneStatus() != AuthorizationStatus::denied;
}

Task<AuthorizationStatus> PulsePermissions::requestSpeechAuthorization()
{
    co_return AuthorizationStatus::authorized;
}

} // namespace orv
