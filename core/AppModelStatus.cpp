#include "core/AppModel.h"

#include "base/PlatformText.h"
#include "core/StatusTexts.h"

namespace orv {

namespace {

// "en_US" and "en-us" are the same identifier.
QString normalForm(const QString &identifier)
{
    QString normal = identifier;
    return normal.replace(QLatin1Char('_'), QLatin1Char('-')).toLower();
}

// The language part of a locale identifier ("de" of "de-AT"); none when it does not start with one.
std::optional<QString> languageCode(const QString &identifier)
{
    const QString first = normalForm(identifier).section(QLatin1Char('-'), 0, 0);
    if (first.size() < 2 || first.size() > 8)
        return std::nullopt;
    for (QChar c : first) {
        if (c < QLatin1Char('a') || c > QLatin1Char('z'))
            return std::nullopt;
    }
    return first;
}
} // namespace

QString authorizationText(AuthorizationStatus status)
{
    switch (status) {
    case AuthorizationStatus::notDetermined:
        return QStringLiteral("Not requested");
    case AuthorizationStatus::restricted:
        return QStringLiteral("Restricted");
    case AuthorizationStatus::denied:
        return platform::permissionDeniedStatus();
    case AuthorizationStatus::authorized:
        return QStringLiteral("Allowed");
    case AuthorizationStatus::unknown:
        break;
    }
    return QStringLiteral("Unavailable");
}

QString resolveLocaleIdentifier(const QString &preferred, const QStringList &supported)
{
    const QString wanted = normalForm(preferred);
    for (const QString &identifier : supported) {
        if (normalForm(identifier) == wanted)
            return identifier;
    }
    const std::optional<QString> language = languageCode(preferred);
    if (language == QStringLiteral("en")) {
        for (const QString &identifier : supported) {
            if (normalForm(identifier) == QStringLiteral("en-us"))
                return identifier;
        }
    }
    for (const QString &identifier : supported) {
        if (languageCode(identifier) == language)
            return identifier;
    }
    return supported.isEmpty() ? preferred : supported.first();
}

// ---- Permissions and status ----

void AppModel::refreshStatus()
{
    m_loginItem->refresh();
    m_microphoneStatus = authorizationText(permissions().microphoneStatus());
    m_speechStatus = authorizationText(permissions().speechStatus());
    m_accessibilityEnabled = m_delivery->isTrusted();
    m_activeModelName = m_formatter->modelDisplayName();
    m_modelStatus = m_formatter->statusText();
    Q_EMIT changed();
}

void AppModel::prepareActivatedApplication()
{
    if (!m_delivery->isTrusted())
        return;
    const std::optional<ApplicationInfo> application = m_delivery->frontmostApplication();
    if (!application || application->processID == m_delivery->ownProcessID())
        return;
    (void)m_delivery->prepareProcess(application->processID);
}

void AppModel::requestPermissions()
{
    const auto refused = [](AuthorizationStatus status) {
        return status == AuthorizationStatus::restricted || status == AuthorizationStatus::denied;
    };
    if (refused(permissions().microphoneStatus())) {
        (void)openPrivacySettings(privacyAnchor::microphone());
        refreshStatus();
        return;
    }
    if (refused(permissions().speechStatus())) {
        (void)openPrivacySettings(privacyAnchor::speechRecognition());
        refreshStatus();
        return;
    }
    (void)permissionTask(this);
}

Task<> AppModel::permissionTask(QPointer<AppModel> model)
{
    (void)co_await model->authorizeRecording();
    if (model)
        model->refreshStatus();
}

Task<bool> AppModel::authorizeRecording()
{
    return authorizeTask(this);
}

Task<bool> AppModel::authorizeTask(QPointer<AppModel> model)
{
    const CancelToken token = co_await currentCancellation();
    if (!model || token->isCancelled())
        co_return false;

    if (model->permissions().microphoneStatus() == AuthorizationStatus::notDetermined)
        (void)co_await model->permissions().requestMicrophoneAccess(); // the status is read again below
    if (!model || token->isCancelled())
        co_return false;
    if (model->permissions().microphoneStatus() != AuthorizationStatus::authorized) {
        model->m_errorMessage = platform::allowMicrophoneSentence();
        model->refreshStatus();
        co_return false;
    }

    if (model->permissions().speechStatus() == AuthorizationStatus::notDetermined)
        (void)co_await model->permissions().requestSpeechAuthorization();
    if (!model || token->isCancelled())
        co_return false;
    if (model->permissions().speechStatus() == AuthorizationStatus::authorized) {
        model->refreshStatus();
        co_return true;
    }
    model->m_errorMessage = platform::speechRefusedSentence();
    model->refreshStatus();
    co_return false;
}

bool AppModel::openPrivacySettings(const QString &anchor)
{
    const std::optional<QUrl> url = privacySettingsUrl(anchor);
    return url && url->isValid() && m_desktop->openUrl(*url);
}

void AppModel::enableAccessibility()
{
    if (m_desktop->sessionAccessibility().value_or(false)) {
        (void)openPrivacySettings(privacyAnchor::accessibility());
        return;
    }
    if (!m_desktop->enableSessionAccessibility())
        m_errorMessage = QStringLiteral("Accessibility could not be switched on: this desktop session has no "
                                        "accessibility bus.");
    refreshStatus();
    (void)accessibilityRecheckTask(this);
}

Task<> AppModel::accessibilityRecheckTask(QPointer<AppModel> model)
{
    // Text delivery reads the switch at most once a second: its first answer after the change may be stale.
    if (!model)
        co_return;
    const bool slept = co_await sleepFor(model->m_scheduler, std::chrono::milliseconds(1100));
    if (slept && model)
        model->refreshStatus();
}

void AppModel::checkLanguageModel()
{
    m_modelStatus = statusText::checking(m_formatter->modelDisplayName());
    Q_EMIT changed();
    (void)languageModelTask(this);
}

Task<> AppModel::languageModelTask(QPointer<AppModel> model)
{
    co_await model->m_formatter->refreshModel();
    if (!model)
        co_return;
    const QString server = model->m_formatter->serverStatus();
    model->m_modelCheckResult = server.isEmpty() ? model->m_formatter->statusText() : server;
    model->refreshStatus();
}

Task<> AppModel::localeTask(QPointer<AppModel> model)
{
    if (!model)
        co_return;
    QStringList locales = co_await model->m_speech->supportedLocaleIdentifiers();
    if (!model)
        co_return;
    if (!locales.isEmpty()) {
        locales.sort();
        model->m_supportedLocales = locales;
    }
    const QString resolved = resolveLocaleIdentifier(model->m_preferences.localeIdentifier, model->m_supportedLocales);
    if (resolved != model->m_preferences.localeIdentifier) {
        model->m_preferences.localeIdentifier = resolved;
        model->saveLibrary();
        Q_EMIT model->changed();
    }
    Q_EMIT model->changed();
}

void AppModel::setFnShortcutStatus(const QString &text)
{
    if (text == m_fnShortcutStatus)
        return;
    m_fnShortcutStatus = text;
    Q_EMIT changed();
}

void AppModel::setShortcutNames(const ShortcutNames &names)
{
    if (names == m_shortcutNames)
        return;
    // Until the shortcut service reports, the hold key's status names the key it will use.
    if (m_fnShortcutStatus == statusText::initialFn(m_shortcutNames.holdKey))
        m_fnShortcutStatus = statusText::initialFn(names.holdKey);
    m_shortcutNames = names;
    Q_EMIT changed();
}

void AppModel::setShortcutRegistrationError(const std::optional<QString> &error)
{
    if (error == m_shortcutRegistrationError)
        return;
    m_shortcutRegistrationError = error;
    Q_EMIT changed();
}

} // namespace orv
