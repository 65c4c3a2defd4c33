#pragma once

#include <juce_core/juce_core.h>

#include <functional>

/** One function per kind of input the player reads from outside: each feeds arbitrary bytes
    to the program the way it meets them and checks what must hold afterwards. The fuzzers
    and the regression test (which replays tests/fuzz-regressions/<target>/) both run them,
    inside a private HOME. A broken check goes to the failure handler (default: print, abort,
    which libFuzzer records as a crash with its input). */
namespace fuzzing
{
    struct Target
    {
        const char* name;
        void (*run) (const std::uint8_t*, std::size_t);
        std::size_t maxLength;   // longer inputs are cut to this (and libFuzzer's -max_len)
    };

    const Target* findTarget (const juce::String& name);
    void setFailureHandler (std::function<void (const juce::String&)> handler);
    void fail (const juce::String& message);
}
