#include "app/MicrophonesCommand.h"

#include "base/LiveScheduler.h"
#include "library/LinuxSettings.h"
#include "library/SettingsKeyValueStore.h"
#include "speech/pulse/PulseMicrophones.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QStringList>
#include <QTextStream>

namespace orv {

namespace {

// How long the first listing may take; a local server answers in milliseconds.
constexpr Duration listingTimeout = std::chrono::seconds(5);

} // namespace

int MicrophonesCommand::run()
{
    LiveScheduler scheduler;
    const LinuxSettings settings(std::make_unique<SettingsKeyValueStore>());
    PulseMicrophones microphones(scheduler, {[&settings] { return Microphone{settings.audioSource(), {}}; }, nullptr});
    QEventLoop loop;
    microphones.onChanged = [&loop] { loop.quit(); };
    const Scheduler::TimerId timeout = scheduler.schedule(listingTimeout, [&loop] { loop.quit(); });
    if (microphones.isConnected() && !microphones.isListed())
        loop.exec();
    scheduler.cancel(timeout);
    microphones.onChanged = nullptr;

    if (!microphones.isListed()) {
        QTextStream(stderr) << "No sound server answered: Orvanta records through PulseAudio (or PipeWire's "
                               "PulseAudio service), and none is running for this session."
                            << Qt::endl;
        return noServer;
    }
    QTextStream out(stdout);
    const QString chosen = microphones.chosen().name;
    const QList<Microphone> list = microphones.microphones();
    bool chosenFound = false;
    for (const Microphone &microphone : list) {
        QStringList marks;
        if (microphone.isDefault)
            marks << QStringLiteral("default");
        if (microphone.name == chosen) {
            marks << QStringLiteral("chosen");
            chosenFound = true;
        }
        out << microphone.name << '\t' << microphone.description << '\t' << marks.join(QLatin1Char(',')) << '\n';
    }
    if (list.isEmpty())
        out << "The sound server has no microphone.\n";
    if (chosen.isEmpty())
        out << "Dictations record from the desktop default (set [audio] source= in "
            << SettingsKeyValueStore::defaultFilePath() << " or choose in Settings).\n";
    else if (!chosenFound)
        out << "The chosen microphone " << chosen
            << " is not connected: dictations record from the desktop default until it is back.\n";
    out.flush();
    return 0;
}

} // namespace orv
