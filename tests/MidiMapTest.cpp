#include "VelorinTest.h"

// Learning and matching of the four MIDI actions.

namespace
{
    const auto noteOn = juce::MidiMessage::noteOn (1, 60, (juce::uint8) 127);
    const auto controller = juce::MidiMessage::controllerEvent (2, 7, 100);

    /** The action a message triggers, or -1 when it matches nothing. */
    int actionFor (MidiMap& map, const juce::MidiMessage& message)
    {
        int action = -1;
        return map.handleMessage (message, action) ? action : -1;
    }
}

using MidiMapTest = VelorinTest;

TEST_F (MidiMapTest, MatchesExactLowerCaseTextsTheFirstRowWinning)
{
    EXPECT_EQ (MidiMap::messageText (noteOn), "90 3c 7f");
    EXPECT_EQ (MidiMap::messageText (juce::MidiMessage (0xfa)), "fa");
    EXPECT_EQ (MidiMap::messageText (juce::MidiMessage::pitchWheel (16, 0x2000)), "ef 00 40");

    MidiMap map;
    EXPECT_EQ (actionFor (map, noteOn), -1);   // empty rows never match
    map.mappings[1].message = map.mappings[3].message = "90 3c 7f";
    map.mappings[2].message = "90 3C 7F";
    EXPECT_EQ (actionFor (map, noteOn), 1);
    for (const auto& other : { juce::MidiMessage::noteOn (1, 60, (juce::uint8) 64), juce::MidiMessage::noteOff (1, 60, (juce::uint8) 0), controller })
        EXPECT_EQ (actionFor (map, other), -1);

    int untouched = 42;
    EXPECT_FALSE (map.handleMessage (controller, untouched));
    EXPECT_EQ (untouched, 42);
    for (int i = 0; i < MidiMap::numMappings; ++i)
        EXPECT_EQ (map.mappings[i].action, i);
}

TEST_F (MidiMapTest, LearnsOneMessageIntoTheSelectedTarget)
{
    MidiMap map;
    map.mappings[0].message = "b1 07 64";
    EXPECT_EQ (map.learnIndex, -1);
    map.selectLearnTarget (3);                 // while not learning: row 0
    EXPECT_EQ (map.learnIndex, 0);
    map.learnIndex = -1;
    map.learning = true;
    EXPECT_EQ (actionFor (map, controller), -1);   // no target yet: dropped
    EXPECT_EQ (map.mappings[1].message, "");

    map.selectLearnTarget (2);
    EXPECT_EQ (map.learnIndex, 2);
    EXPECT_EQ (actionFor (map, controller), -1);   // learned, not acted on
    EXPECT_EQ (map.mappings[2].message, "b1 07 64");
    EXPECT_EQ (map.mappings[0].message, "b1 07 64");
    EXPECT_EQ (map.learnIndex, -1);
    actionFor (map, noteOn);                       // the next one is dropped
    EXPECT_EQ (map.mappings[2].message, "b1 07 64");
    map.learning = false;
    EXPECT_EQ (actionFor (map, controller), 0);

    // A System Exclusive message longer than any fixed buffer.
    juce::uint8 data[300];
    for (int i = 0; i < 300; ++i)
        data[i] = (juce::uint8) (i % 128);
    map.learning = true;
    map.selectLearnTarget (3);
    actionFor (map, juce::MidiMessage::createSysExMessage (data, 300));
    map.learning = false;
    EXPECT_EQ (map.mappings[3].message.length(), 302 * 3 - 1);
    EXPECT_EQ (actionFor (map, juce::MidiMessage::createSysExMessage (data, 300)), 3);
    EXPECT_EQ (actionFor (map, juce::MidiMessage::createSysExMessage (data, 299)), -1);
}
