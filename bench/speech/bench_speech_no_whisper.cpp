#include "bench/speech/BenchSpeechWhisper.h"

#include <cstdio>

namespace orv {

void benchWhisper()
{
    std::printf("Whisper: skipped (built without whisper.cpp; run scripts/fetch-whisper.sh)\n");
}

} // namespace orv
