#include "VelorinTest.h"

#include <new>

// Matching MIDI runs on the audio thread and allocates nothing: operator new counts what this
// thread allocates while `allocations` is not negative. Under the sanitizers it is theirs.
// (The hostile files are in PlaylistEntryTest, the hostile folders in PlaylistTest.)

#if defined (__SANITIZE_ADDRESS__) || defined (__SANITIZE_THREAD__)
 #define VELORIN_COUNTS_ALLOCATIONS 0
#elif defined (__has_feature)
 #define VELORIN_COUNTS_ALLOCATIONS ! (__has_feature (address_sanitizer) || __has_feature (thread_sanitizer))
#else
 #define VELORIN_COUNTS_ALLOCATIONS 1
#endif

#if VELORIN_COUNTS_ALLOCATIONS
static thread_local int allocations = -1;

void* operator new (std::size_t size)
{
    allocations += allocations >= 0 ? 1 : 0;
    if (auto* p = std::malloc (size > 0 ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete (void* p) noexcept                 { std::free (p); }
void operator delete (void* p, std::size_t) noexcept    { std::free (p); }
#endif

using HostileInputTest = VelorinTest;

TEST_F (HostileInputTest, MatchingMidiAllocatesNothing)
{
   #if ! VELORIN_COUNTS_ALLOCATIONS
    GTEST_SKIP() << "the sanitizers own operator new";
   #else
    MidiMap map;
    map.mappings[0].message = "90 3c 7f";
    map.mappings[1].message = juce::String::toHexString (juce::MemoryBlock (200, true).getData(), 200, 1);   // as long as the SysEx
    const juce::uint8 zeros[198] = {};
    const auto sysex = juce::MidiMessage::createSysExMessage (zeros, 198), noteOn = juce::MidiMessage::noteOn (1, 60, (juce::uint8) 127);
    int action = -1;
    allocations = 0;
    const bool sysexMatches = map.handleMessage (sysex, action), noteMatches = map.handleMessage (noteOn, action);
    EXPECT_EQ (std::exchange (allocations, -1), 0);
    EXPECT_FALSE (sysexMatches);   // f0 00 .. 00 f7 is not 200 zero bytes
    EXPECT_TRUE (noteMatches && action == 0);
   #endif
}
