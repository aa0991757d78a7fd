#pragma once

#include <QStringList>

namespace orv {

// `orvanta transcribe`: a dictation without a desktop. The WAV file takes the microphone's place; its
// transcript goes the road of a dictation (trim, dictionary, formatter) and is printed on stdout.
class TranscribeCommand
{
public:
    enum ExitCode
    {
        success = 0,
        usageError = 2,
        audioError = 3,    // missing, unreadable or not WAV
        languageError = 4, // unsupported language or missing model
        noSpeech = 5,
        recognitionError = 6,
        libraryError = 7,
    };

    // Runs in the current QCoreApplication; arguments after the subcommand name.
    static int run(const QStringList &arguments);
};

} // namespace orv
