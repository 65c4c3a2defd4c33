#include "VelorinTest.h"

using namespace juce;

// Learning and matching of the four MIDI rows. Neither allocates: operator new counts while `allocations` >= 0.

static thread_local int allocations = -1;

#if ! defined(__SANITIZE_ADDRESS__) && ! defined(__SANITIZE_THREAD__)
void* operator new (std::size_t size)
{
    allocations += allocations >= 0 ? 1 : 0;
    if (auto* p = std::malloc (size > 0 ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete (void* p) noexcept
{
    std::free (p);
}   // the sized one calls it
#endif

using MidiMapTest = VelorinTest;

TEST_F (MidiMapTest, LearnsOneMessageAfterEachTargetAndMatchesTheFirstRowWithItsText)
{
    const uint8 messages[][3] = { { 0xb1, 0x07, 0x64 }, { 0x90, 0x3c, 0x7f }, { 0x90, 0x3c, 0x40 } };
    MidiMap map;
    const auto send = [&] (const String& what)   // notes each message's action, -1 for none
    {
        String actions;
        for (const auto* message : messages)
        {
            int action = -1;
            const bool acted = map.handleMessage (message, 3, action);
            actions << (acted ? action : -1) << " ";
        }
        note (what, actions);
    };
    map.setMessage (1, "90 3C 7F");   // no message's text
    map.setMessage (2, "90 3c 7f");
    map.setMessage (3, "90 3c 7f");
    send ("rows set");
    map.selectLearnTarget (3);   // while not learning: row 0
    map.learning = true;
    send ("learning");
    map.learning = false;
    send ("learning off");
}

TEST_F (MidiMapTest, ALongSysExIsLearnedAndMatchedWithoutAllocating)
{
    const std::vector<uint8> data (27 * 1024, 0x55);
    const auto sysex = MidiMessage::createSysExMessage (data.data(), (int) data.size());
    MidiMap map;
    map.learning = true;
    map.selectLearnTarget (1);
    int action = -1;

    allocations = 0;
    map.handleMessage (sysex, action);
    map.learning = false;
    map.handleMessage (sysex, action);
    EXPECT_EQ (std::exchange (allocations, -1), 0) << "learning and matching";

    EXPECT_EQ (action, 1);
    EXPECT_EQ (map.getMessage (1), MidiMap::messageText (sysex));
}
