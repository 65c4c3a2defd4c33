#include "VelorinTest.h"
#include "engine/XmlFiles.h"
#include "ui/ReplayProcessorEditor.h"

// Odd but valid documents are read, hostile ones refused without a crash (audio files: PlaylistEntryTest).

using HostileInputTest = VelorinTest;

TEST_F (HostileInputTest, OddButValidDocumentsAreReadAndHostileOnesRefused)
{
    const auto deep = juce::String::repeatedString ("<a>", 40000) + juce::String::repeatedString ("</a>", 40000);
    const std::pair<juce::String, bool> cases[] = {
        { juce::String::fromUTF8 ("\xef\xbb\xbf<?xml version=\"1.0\"?><data/>"), true }, { "<data><!-- Tom & Jerry <?x?> --><x a=\"1 &gt; 0\"/><![CDATA[ & < ]]></data>", true },
        { juce::String::repeatedString ("<a>", 200) + juce::String::repeatedString ("</a>", 200), true }, { deep, false },   // a comment is never parsed; 40,000 levels would overflow the stack
        { "<data><x a=\"&amp\"/></data>", false }, { "<data><?pi x?></data>", false }, { "<!DOCTYPE d SYSTEM \"/dev/zero\"><data/>", false } };   // a reference cut short
    for (const auto& [text, parses] : cases)
        EXPECT_EQ (home.getChildFile ("doc.xml").replaceWithText (text) && XmlFiles::parseFile (home.getChildFile ("doc.xml")) != nullptr, parses) << text.substring (0, 60);
    ASSERT_TRUE (privateHome.dataFolder().createDirectory() && dataFile ("midi.map").replaceWithText (deep));
    { MidiMap map; }
    EXPECT_EQ (dataFile ("midi.map.bak").loadFileAsString(), deep);
}

// JUCE's parser ends a comment at the first "-->" after its "<!--", so "<!-->" only opens one. Ended there, it
// hid from the check 300,000 levels that the parser then went down until the stack ran out.
TEST_F (HostileInputTest, ElementsAfterACommentOpenedWithItsOwnEndAreCounted)
{
    const auto hostile = "<!--> <![CDATA[ -->" + juce::String::repeatedString ("<a>", 300000) + " ]]>";
    ASSERT_TRUE (privateHome.dataFolder().createDirectory() && dataFile ("data.xml").replaceWithText (hostile));
    ReplayProcessor processor;
    EXPECT_EQ (dataFile ("data.xml.bak").loadFileAsString(), hostile) << "step: start";
    const auto loaded = processor.loadPlaylist (dataFile ("data.xml.bak"));
    EXPECT_FALSE (loaded) << "step: LOAD";
    EXPECT_EQ (processor.playlist.size(), 0) << "step: LOAD";
}
