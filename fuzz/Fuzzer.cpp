// libFuzzer's entry points for the target VELORIN_FUZZ_TARGET names (one executable each).
#include "FuzzTargets.h"
#include "TestKit.h"
#include <juce_events/juce_events.h>

struct Environment   // the HOME before JUCE asks for any folder
{
    testkit::PrivateHome home;
    juce::ScopedJuceInitialiser_GUI gui;
    testkit::AssertionCheck assertions { fuzzing::fail };
};

// libFuzzer ends with exit() on this thread: thread-local objects go before any static one, so all is torn down while
// JUCE's leak counters exist.
static thread_local std::unique_ptr<Environment> environment;

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return nullptr; };
    environment = std::make_unique<Environment>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    fuzzing::targets().at (VELORIN_FUZZ_TARGET) ({ data, size });
    return 0;
}

// Linked with -Wl,--wrap: JUCE asks at every assertion whether a debugger is attached, reading /proc/self/status,
// which is slow.
extern "C" bool __wrap__ZN4juce27juce_isRunningUnderDebuggerEv()
{
    return false;
}
