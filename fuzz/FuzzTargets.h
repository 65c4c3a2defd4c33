#pragma once
#include <juce_core/juce_core.h>
#include <map>

/** One target per kind of outside input: it feeds an input to the program the way the program meets it, and checks
    what must hold. */
namespace fuzzing
{
    using Target = std::function<void (const juce::MemoryBlock& input)>;

    /** Every target, by the name of its fuzzer and of its folder in tests/fuzz-regressions. */
    const std::map<std::string, Target>& targets();

    /** A broken check goes to onFailure, or else is printed before an abort (a crash, with its input, to libFuzzer). */
    inline std::function<void (const juce::String&)> onFailure;
    void fail (const juce::String& message);
}
