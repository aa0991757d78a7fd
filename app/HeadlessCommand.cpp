#include "app/HeadlessCommand.h"

#include "app/DisplayCheck.h"
#include "app/LiveApplication.h"
#include "app/QuitOnSignals.h"
#include "app/SessionPlatform.h"
#include "app/SingleInstance.h"
#include "base/CleanText.h"
#include "library/LinuxSettings.h"

#include <QGuiApplication>
#include <QTextStream>
#include <QUuid>

namespace orv {

namespace {

// What a person at the terminal wants to see: the status line, errors and the delivery outcome.
class StatusPrinter
{
public:
    explicit StatusPrinter(AppModel &model) : m_model(model) {}

    void print()
    {
        // Texts may hold what a server sent: nothing reaches the terminal that could act on it.
        QTextStream out(stdout);
        const auto shown = [](const QString &text) { return cleanText(text, true); };
        if (m_model.status() != m_status) {
            m_status = m_model.status();
            out << shown(m_status) << Qt::endl;
        }
        const std::optional<TranscriptRecord> &result = m_model.lastResult();
        if (result && result->id != m_resultID) {
            m_resultID = result->id;
            out << QStringLiteral("  “") << shown(result->output) << QStringLiteral("”") << Qt::endl;
        }
        if (m_model.errorMessage() != m_error) {
            m_error = m_model.errorMessage();
            if (m_error)
                out << "! " << shown(*m_error) << Qt::endl;
        }
        if (m_model.lastDelivery() != m_delivery) {
            m_delivery = m_model.lastDelivery();
            if (!m_delivery.isEmpty())
                out << "  " << shown(m_delivery) << Qt::endl;
        }
    }

private:
    AppModel &m_model;
    QString m_status;
    QUuid m_resultID;
    std::optional<QString> m_error;
    QString m_delivery;
};

} // namespace

int HeadlessCommand::run(int argc, char *argv[])
{
    const bool wayland = sessionPlatform() == SessionPlatform::wayland;
    if (const std::optional<QString> problem = displayProblem(wayland)) {
        QTextStream(stderr) << *problem << Qt::endl;
        return 2;
    }
    chooseQtPlatform(wayland);
    LiveApplication::configureProcess();
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Orvanta"));
    QGuiApplication::setQuitOnLastWindowClosed(false);

    // The same name as the windowed application's, so `orvanta toggle` reaches this one too.
    SingleInstance instance;
    if (instance.claim(SingleInstance::Running::refuseMe) == SingleInstance::Claim::refused) {
        QTextStream(stderr) << instance.refusal() << Qt::endl;
        return 1;
    }

    const QuitOnSignals quitOnSignals;

    LiveApplication live({ShortcutController::Registration::always, std::nullopt, {}});
    AppModel &model = live.model();
    StatusPrinter printer(model);
    QObject::connect(&model, &AppModel::changed, &app, [&printer] { printer.print(); });
    QObject::connect(&instance, &SingleInstance::toggleRequested, &model, &AppModel::toggle);
    QObject::connect(&instance, &SingleInstance::cancelRequested, &model, &AppModel::cancelDictation);

    const AppModel::ShortcutNames &keys = model.shortcutNames();
    const SessionKeysStatus::State &session = live.settings().sessionKeys().state();
    QTextStream out(stdout);
    switch (session.mechanism) {
    case SessionKeysStatus::Mechanism::x11:
        out << "Orvanta is listening for " << keys.holdKey << " (hold to speak) and " << keys.toggle
            << " (start/finish); Escape cancels.";
        break;
    case SessionKeysStatus::Mechanism::portal:
        out << "Orvanta is listening for the desktop's shortcuts “Hold to dictate” and “Start or finish a "
               "dictation” (bound in the desktop's dialog), and for “orvanta toggle” and “orvanta cancel”.";
        break;
    case SessionKeysStatus::Mechanism::evdev:
        out << "Orvanta is listening for " << keys.holdKey
            << " (hold to speak, read from the keyboard devices), and for “orvanta toggle” (start/finish) and "
               "“orvanta cancel”.";
        break;
    case SessionKeysStatus::Mechanism::command:
        out << "Orvanta is listening for “orvanta toggle” (start/finish) and “orvanta cancel”: bind them to keys "
               "in the desktop's keyboard settings.";
        break;
    }
    out << " Press Ctrl+C to quit." << Qt::endl;
    printer.print();

    const int status = app.exec();
    // Ctrl+C while speaking keeps the words: finished into History and onto the clipboard, and printed.
    live.finishDictationBeforeQuit();
    QObject::disconnect(&model, &AppModel::changed, &app, nullptr);
    live.shutdown();
    return status;
}

} // namespace orv
