#pragma once

namespace orv {

// `orvanta microphones`: the sound server's inputs as the Settings page lists them, one a line: name,
// description, and whether it is the desktop's default and the one chosen for dictation.
class MicrophonesCommand
{
public:
    static constexpr int noServer = 1;

    // Runs in the current QCoreApplication.
    static int run();
};

} // namespace orv
