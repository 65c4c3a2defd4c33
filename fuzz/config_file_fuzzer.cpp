// libFuzzer entry points for the "config_file" target: .config read, changed, rewritten and read again.
#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    fuzzing::initialiseFuzzer();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    static const auto* target = fuzzing::findTarget ("config_file");
    fuzzing::fuzzConfigFile (data, juce::jmin (size, target->maxLength));
    return 0;
}
