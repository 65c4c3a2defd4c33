#include "VelorinTest.h"

// Learning and matching of the four MIDI actions: each step records the rows' texts, the learn
// target and the action each test message triggers.

class MidiMapTest : public VelorinTest
{
protected:
    void step (const juce::String& what)
    {
        juce::String text = "rows";
        for (auto& mapping : map.mappings)
            text << " \"" << mapping.message << "\"";
        text << ", target " << map.learnIndex.load() << (map.learning ? ", learning" : ", actions");
        for (auto& message : map.learning ? std::vector<juce::MidiMessage>() : messages)
        {
            int action = 42;
            text << " " << (map.handleMessage (message, action) ? juce::String (action) : action == 42 ? "-" : "changed!");
        }
        note (what, text);
    }

    MidiMap map;
    juce::uint8 sysex[300] {};
    std::vector<juce::MidiMessage> messages { juce::MidiMessage::noteOn (1, 60, (juce::uint8) 127), juce::MidiMessage::noteOn (1, 60, (juce::uint8) 64),
                                              juce::MidiMessage::noteOff (1, 60, (juce::uint8) 0), juce::MidiMessage::controllerEvent (2, 7, 100),
                                              juce::MidiMessage (0xfa), juce::MidiMessage::pitchWheel (16, 0x2000) };
};

TEST_F (MidiMapTest, LearnsAndMatches)
{
    for (auto& message : messages)
        note ("text", MidiMap::messageText (message));
    for (int i = 0; i < 300; ++i)
        sysex[i] = (juce::uint8) (i % 128);
    messages.push_back (juce::MidiMessage::createSysExMessage (sysex, 300));   // longer than any fixed buffer
    messages.push_back (juce::MidiMessage::createSysExMessage (sysex, 299));

    step ("new");
    map.mappings[1].message = map.mappings[3].message = "90 3c 7f";
    map.mappings[2].message = "90 3C 7F";
    step ("rows set");
    map.selectLearnTarget (3);
    step ("target 3 chosen while not learning");
    map.learnIndex = -1;
    map.learning = true;
    step ("learning, no target: " + juce::String ((int) map.handleMessage (messages[3], *std::make_unique<int>())));
    map.selectLearnTarget (2);
    step ("target 2");
    for (auto index : { 3, 0, 6 })
    {
        map.learning = true;
        step ("message " + juce::String (index) + " learned: " + juce::String ((int) map.handleMessage (messages[(size_t) index], *std::make_unique<int>())));
        map.selectLearnTarget (index == 0 ? 3 : 0);
        map.learning = index == 0;
    }
    step ("learning off");
    for (int i = 0; i < MidiMap::numMappings; ++i)
        EXPECT_EQ (map.mappings[i].action, i);
}
