#include "VelorinTest.h"

// Learning and matching of the four MIDI actions, step by step: the rows, the learn target and
// each message's action. Matching allocates nothing: operator new counts while `allocations` >= 0.

static thread_local int allocations = -1;

#if ! defined (__SANITIZE_ADDRESS__) && ! defined (__SANITIZE_THREAD__)
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

using MidiMapTest = VelorinTest;

TEST_F (MidiMapTest, LearnsAndMatches)
{
    juce::uint8 sysex[300];
    std::generate (sysex, sysex + 300, [i = 0]() mutable { return (juce::uint8) (i++ % 128); });
    const juce::MidiMessage messages[] = { juce::MidiMessage::noteOn (1, 60, (juce::uint8) 127), juce::MidiMessage::noteOn (1, 60, (juce::uint8) 64),
                                           juce::MidiMessage::noteOff (1, 60, (juce::uint8) 0), juce::MidiMessage::controllerEvent (2, 7, 100),
                                           juce::MidiMessage (0xfa), juce::MidiMessage::pitchWheel (16, 0x2000),
                                           juce::MidiMessage::createSysExMessage (sysex, 300), juce::MidiMessage::createSysExMessage (sysex, 299) };   // longer than any fixed buffer
    for (int i = 0; i < 6; ++i)
        note ("text", MidiMap::messageText (messages[i]));
    MidiMap map;
    const auto step = [&] (const juce::String& what)
    {
        juce::String text = "rows";
        for (int i = 0; i < MidiMap::numMappings; ++i)
            text << " \"" << map.getMessage (i) << "\"";
        text << ", target " << map.learnIndex.load() << (map.learning ? ", learning" : ", actions");
        for (int i = 0, action = 42; ! map.learning && i < 8; ++i, action = 42)
        {
            const bool matched = (allocations = 0, map.handleMessage (messages[i], action));
            EXPECT_EQ (std::exchange (allocations, -1), 0) << what << ", message " << i;
            text << " " << (matched ? juce::String (action) : action == 42 ? "-" : "changed!");
        }
        note (what, text);
    };
    const auto learn = [&] (int index)   { return juce::String ((int) map.handleMessage (messages[index], *std::make_unique<int>())); };
    step ("new");
    map.setMessage (1, "90 3c 7f"), map.setMessage (3, "90 3c 7f"), map.setMessage (2, "90 3C 7F"), step ("rows set");
    map.selectLearnTarget (3), step ("target 3 chosen while not learning");
    map.learnIndex = -1, map.learning = true, step ("learning, no target: " + learn (3));
    map.selectLearnTarget (2), step ("target 2");
    for (auto index : { 3, 0, 6 })
    {
        map.learning = true, step ("message " + juce::String (index) + " learned: " + learn (index));
        map.selectLearnTarget (index == 0 ? 3 : 0), map.learning = index == 0;
    }
    step ("learning off");
    for (int i = 0; i < MidiMap::numMappings; ++i)
        EXPECT_EQ (map.mappings[i].action, i);
}

TEST_F (MidiMapTest, ALongSysExIsLearnedAndMatchedWithoutAllocating)
{
    std::vector<juce::uint8> data (27 * 1024, 0x55);
    const auto sysex = juce::MidiMessage::createSysExMessage (data.data(), (int) data.size());
    data.back() = 0x56;
    const auto sameLength = juce::MidiMessage::createSysExMessage (data.data(), (int) data.size());
    const auto noteOn = juce::MidiMessage::noteOn (1, 60, (juce::uint8) 127);
    MidiMap map;
    map.learning = true;
    map.selectLearnTarget (1);
    int action = -1;
    int otherAction = -1;

    allocations = 0;
    map.handleMessage (sysex, action);
    map.learning = false;
    const bool matched = map.handleMessage (sysex, action);
    const bool sameLengthMatched = map.handleMessage (sameLength, otherAction);
    const bool noteOnMatched = map.handleMessage (noteOn, otherAction);
    EXPECT_EQ (std::exchange (allocations, -1), 0) << "learning and matching";

    EXPECT_TRUE (matched) << "the learned SysEx";
    EXPECT_EQ (action, 1);
    EXPECT_FALSE (sameLengthMatched) << "another SysEx of its length";
    EXPECT_FALSE (noteOnMatched);
    EXPECT_EQ (map.getMessage (1), MidiMap::messageText (sysex));
}
