// libFuzzer's entry points for the target VELORIN_FUZZ_TARGET names (one executable each).
#include "FuzzTargets.h"
#include "TestKit.h"
#include <juce_events/juce_events.h>
extern "C" int LLVMFuzzerInitialize (int*, char***) {
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return nullptr; };
    // The HOME before JUCE asks for any folder; thread-local, so that exit() tears all down before JUCE's statics (the leak counters).
    thread_local testkit::PrivateHome home;
    thread_local juce::ScopedJuceInitialiser_GUI gui;
    thread_local testkit::AssertionCheck assertions { fuzzing::fail };
    return 0;
}
extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size) {
    static const auto* target = fuzzing::findTarget (VELORIN_FUZZ_TARGET);
    return target->run (data, juce::jmin (size, target->maxLength)), 0;
}
// Linked with -Wl,--wrap: JUCE asks at every assertion whether a debugger is attached, reading /proc/self/status, which is slow.
extern "C" bool __wrap__ZN4juce27juce_isRunningUnderDebuggerEv()   { return false; }
