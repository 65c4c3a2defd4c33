// libFuzzer's entry points for the target VELORIN_FUZZ_TARGET names (one executable each).
#include "FuzzTargets.h"
#include "TestKit.h"
#include <juce_events/juce_events.h>

struct Environment
{
    testkit::PrivateHome home;   // before JUCE asks for any user folder
    juce::ScopedJuceInitialiser_GUI gui;
    testkit::AssertionCheck assertions { fuzzing::fail };
};
// libFuzzer ends with exit() on this thread: thread-local objects go before any static one, so all is torn down while JUCE's statics
// (the leak counters) still exist.
static thread_local std::unique_ptr<Environment> environment;

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return nullptr; };
    return environment = std::make_unique<Environment>(), 0;
}
extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    static const auto* target = fuzzing::findTarget (VELORIN_FUZZ_TARGET);
    return target->run (data, juce::jmin (size, target->maxLength)), 0;
}
// Linked with -Wl,--wrap: at every assertion JUCE asks whether a debugger is attached by reading /proc/self/status, which makes an
// input that asserts once per declared channel take a minute. A fuzzer never runs under a debugger.
extern "C" bool __wrap__ZN4juce27juce_isRunningUnderDebuggerEv()   { return false; }
