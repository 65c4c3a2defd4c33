#pragma once
#include <juce_core/juce_core.h>
/** One function per kind of outside input feeds it to the program the way the program meets it and checks what must hold. A broken
    check goes to onFailure, or else is printed before an abort (a crash, with its input, to libFuzzer). */
namespace fuzzing
{
struct Target { const char* name; void (*run) (const std::uint8_t*, std::size_t); std::size_t maxLength; };   // longer inputs are cut
const Target* findTarget (const juce::String& name);
inline std::function<void (const juce::String&)> onFailure;
void fail (const juce::String& message);
}
