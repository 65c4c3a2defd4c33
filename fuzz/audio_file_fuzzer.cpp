// libFuzzer entry points for the "audio_file" target: an audio file (WAV or AIFF) added, shown and played.
#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    fuzzing::initialiseFuzzer();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    static const auto* target = fuzzing::findTarget ("audio_file");
    fuzzing::fuzzAudioFile (data, juce::jmin (size, target->maxLength));
    return 0;
}
