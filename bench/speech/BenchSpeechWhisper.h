#pragma once

namespace orv {

// Prints the embedded Whisper recognizer's figures (nothing in a build without it).
void benchWhisper();

} // namespace orv
