// libFuzzer entry points for the "midi_map" target: midi.map read, learned into, rewritten and read again.
#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    fuzzing::initialiseFuzzer();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    static const auto* target = fuzzing::findTarget ("midi_map");
    fuzzing::fuzzMidiMap (data, juce::jmin (size, target->maxLength));
    return 0;
}
