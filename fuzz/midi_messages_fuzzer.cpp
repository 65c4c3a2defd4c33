// libFuzzer entry points for the "midi_messages" target: MIDI events, learning and blocks through the processor.
#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    fuzzing::initialiseFuzzer();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    static const auto* target = fuzzing::findTarget ("midi_messages");
    fuzzing::fuzzMidiMessages (data, juce::jmin (size, target->maxLength));
    return 0;
}
