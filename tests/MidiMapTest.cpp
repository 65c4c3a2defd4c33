#include "TestSupport.h"

// Learning and matching of the four MIDI actions, and the midi.map file.

namespace
{
    const auto noteOn = juce::MidiMessage::noteOn (1, 60, (juce::uint8) 127);
    const auto noteOnSoft = juce::MidiMessage::noteOn (1, 60, (juce::uint8) 64);
    const auto noteOff = juce::MidiMessage::noteOff (1, 60, (juce::uint8) 0);
    const auto controller = juce::MidiMessage::controllerEvent (2, 7, 100);

    const juce::String declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n";

    /** The action a message triggers, or -1 when it matches nothing. */
    int actionFor (MidiMap& map, const juce::MidiMessage& message)
    {
        int action = -1;
        return map.handleMessage (message, action) ? action : -1;
    }
}

using MidiMapTest = TempHomeTest;

TEST_F (MidiMapTest, MessageTextIsLowerCaseHexWithSingleBlanks)
{
    EXPECT_EQ (MidiMap::messageText (noteOn), "90 3c 7f");
    EXPECT_EQ (MidiMap::messageText (juce::MidiMessage (0xfa)), "fa");
    EXPECT_EQ (MidiMap::messageText (juce::MidiMessage::pitchWheel (16, 0x2000)), "ef 00 40");
}

TEST_F (MidiMapTest, MatchesExactTextsOnly)
{
    MidiMap map;
    EXPECT_EQ (actionFor (map, noteOn), -1);   // empty rows never match

    map.mappings[1].message = MidiMap::messageText (noteOn);
    map.mappings[3].message = MidiMap::messageText (noteOn);
    map.mappings[2].message = "90 3C 7F";      // upper case: no message produces it

    EXPECT_EQ (actionFor (map, noteOn), 1);    // the lower row wins
    EXPECT_EQ (actionFor (map, noteOnSoft), -1);
    EXPECT_EQ (actionFor (map, noteOff), -1);
    EXPECT_EQ (actionFor (map, controller), -1);

    int untouched = 42;
    EXPECT_FALSE (map.handleMessage (controller, untouched));
    EXPECT_EQ (untouched, 42);
}

TEST_F (MidiMapTest, MatchesLongSystemExclusiveMessages)
{
    juce::HeapBlock<juce::uint8> data (300);

    for (int i = 0; i < 300; ++i)
        data[i] = (juce::uint8) (i % 128);

    const auto sysex = juce::MidiMessage::createSysExMessage (data.get(), 300);
    const auto otherSysex = juce::MidiMessage::createSysExMessage (data.get(), 299);

    MidiMap map;
    map.learning = true;
    map.selectLearnTarget (3);
    actionFor (map, sysex);
    map.learning = false;

    EXPECT_EQ (map.mappings[3].message.length(), 302 * 3 - 1);
    EXPECT_EQ (actionFor (map, sysex), 3);
    EXPECT_EQ (actionFor (map, otherSysex), -1);
}

TEST_F (MidiMapTest, LearnsIntoTheSelectedTargetOnce)
{
    MidiMap map;
    map.mappings[0].message = MidiMap::messageText (controller);
    map.learning = true;

    // No target yet: messages are dropped, nothing fires.
    EXPECT_EQ (actionFor (map, controller), -1);
    EXPECT_EQ (map.mappings[1].message, "");

    map.selectLearnTarget (2);
    EXPECT_EQ (map.learnIndex, 2);
    EXPECT_EQ (actionFor (map, controller), -1);   // learned, not acted on
    EXPECT_EQ (map.mappings[2].message, "b1 07 64");
    EXPECT_EQ (map.mappings[0].message, "b1 07 64");   // other rows keep the same text
    EXPECT_EQ (map.learnIndex, -1);

    actionFor (map, noteOn);                           // the next one is dropped
    EXPECT_EQ (map.mappings[2].message, "b1 07 64");

    map.learning = false;
    EXPECT_EQ (actionFor (map, controller), 0);
}

TEST_F (MidiMapTest, TargetChosenWhileNotLearningIsRowZero)
{
    MidiMap map;
    EXPECT_EQ (map.learnIndex, -1);
    map.selectLearnTarget (3);
    EXPECT_EQ (map.learnIndex, 0);

    map.learning = true;   // switching LEARN on keeps the target
    actionFor (map, noteOn);
    EXPECT_EQ (map.mappings[0].message, "90 3c 7f");
    EXPECT_EQ (map.mappings[3].message, "");

    for (int i = 0; i < MidiMap::numMappings; ++i)
        EXPECT_EQ (map.mappings[i].action, i);
}

TEST_F (MidiMapTest, FirstRunWritesFourEmptyAttributes)
{
    {
        MidiMap map;
        for (auto& mapping : map.mappings)
            EXPECT_TRUE (mapping.message.isEmpty());
        ASSERT_TRUE (dataFolder().createDirectory());
    }

    EXPECT_EQ (dataFolder().getChildFile ("midi.map").loadFileAsString(),
               declaration + "<midimap midi-0=\"\" midi-1=\"\" midi-2=\"\" midi-3=\"\"/>\r\n");
}

TEST_F (MidiMapTest, LearnedTextsSurviveTheNextRunInTheirExactFormat)
{
    const juce::uint8 bytes[] = { 0x7d, 1, 2, 3 };
    const auto sysex = juce::MidiMessage::createSysExMessage (bytes, 4);
    ASSERT_TRUE (dataFolder().createDirectory());
    {
        MidiMap map;
        map.mappings[0].message = MidiMap::messageText (sysex);
        map.mappings[1].message = MidiMap::messageText (noteOff);
        map.mappings[2].message = MidiMap::messageText (controller);
    }

    // Once the attributes pass 60 characters the writer goes on in a line indented under them.
    EXPECT_EQ (dataFolder().getChildFile ("midi.map").loadFileAsString(),
               declaration + "<midimap midi-0=\"f0 7d 01 02 03 f7\" midi-1=\"80 3c 00\" midi-2=\"b1 07 64\"\r\n"
                             "         midi-3=\"\"/>\r\n");

    MidiMap again;
    EXPECT_EQ (actionFor (again, sysex), 0);
    EXPECT_EQ (actionFor (again, noteOff), 1);
    EXPECT_EQ (actionFor (again, controller), 2);
    EXPECT_EQ (again.mappings[3].message, "");
}

TEST_F (MidiMapTest, ReadsAnyRootTagAndKeepsADamagedFile)
{
    ASSERT_TRUE (dataFolder().createDirectory());
    const auto file = dataFolder().getChildFile ("midi.map");

    ASSERT_TRUE (file.replaceWithText ("<other midi-1=\"fa\" midi-7=\"fb\"/>"));
    {
        MidiMap map;
        EXPECT_EQ (actionFor (map, juce::MidiMessage (0xfa)), 1);
    }
    EXPECT_FALSE (file.getSiblingFile ("midi.map.bak").exists());

    const juce::String damaged = "<midimap midi-0=\"90 3c 7f\" <<< midi-1";
    ASSERT_TRUE (file.replaceWithText (damaged));
    {
        MidiMap map;
        EXPECT_EQ (actionFor (map, noteOn), -1);
    }
    EXPECT_EQ (file.getSiblingFile ("midi.map.bak").loadFileAsString(), damaged);
    EXPECT_TRUE (file.loadFileAsString().contains ("<midimap"));
}
