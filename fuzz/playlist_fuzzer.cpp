// libFuzzer entry points for the "playlist" target: a playlist file loaded by the editor, saved and loaded again.
#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    fuzzing::initialiseFuzzer();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    static const auto* target = fuzzing::findTarget ("playlist");
    fuzzing::fuzzPlaylist (data, juce::jmin (size, target->maxLength));
    return 0;
}
