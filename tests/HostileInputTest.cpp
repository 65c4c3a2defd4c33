#include "VelorinTest.h"
#include "engine/XmlFiles.h"
#include <sys/stat.h>

using HostileInputTest = VelorinTest;

// Odd but valid documents are read; hostile ones, and a FIFO, are refused without a hang or a crash (one level deeper
// than the limit: tests/fuzz-regressions/xml_check; audio files: PlaylistEntryTest).
TEST_F (HostileInputTest, OddButValidDocumentsAreReadAndHostileOnesRefused)
{
    const auto document = home.getChildFile ("document.xml");
    const auto fifo = home.getChildFile ("fifo.xml");
    const std::pair<juce::String, bool> documents[] = {
        { juce::String::fromUTF8 ("\xef\xbb\xbf<?xml version=\"1.0\"?><data/>"), true },
        { "<data><!-- Tom & Jerry <?x?> --><x a=\"1 &gt; 0\"/><![CDATA[ & < ]]></data>", true },
        { juce::String::repeatedString ("<a>", 256) + juce::String::repeatedString ("</a>", 256), true },
        { "<data><x a=\"&amp\"/></data>", false },   // a reference cut short
        { "<data><?pi x?></data>", false },
        { "<!DOCTYPE d SYSTEM \"/dev/zero\"><data/>", false },
    };

    for (const auto& [text, isRead] : documents)
    {
        document.replaceWithText (text);
        EXPECT_EQ (XmlFiles::parseFile (document) != nullptr, isRead) << text.substring (0, 60);
    }

    ASSERT_EQ (mkfifo (fifo.getFullPathName().toRawUTF8(), 0600), 0);
    EXPECT_EQ (XmlFiles::parseFile (fifo), nullptr) << "a FIFO, which no one writes: opened, it would never end";
}

// JUCE's parser ends a comment at the first "-->" after its "<!--", so "<!-->" only opens one. Ended there, it hid
// from the check 300,000 levels that the parser then went down until the stack ran out.
TEST_F (HostileInputTest, ElementsAfterACommentOpenedWithItsOwnEndAreCounted)
{
    const auto hostile = "<!--> <![CDATA[ -->" + juce::String::repeatedString ("<a>", 300000) + " ]]>";
    privateHome.dataFolder().createDirectory();
    const auto written = dataFile ("data.xml").replaceWithText (hostile);
    ASSERT_TRUE (written);

    ReplayProcessor processor;
    EXPECT_EQ (dataFile ("data.xml.bak").loadFileAsString(), hostile) << "at start";
    const auto loaded = processor.loadPlaylist (dataFile ("data.xml.bak"));
    EXPECT_FALSE (loaded) << "LOAD";
    EXPECT_EQ (processor.playlist.size(), 0) << "LOAD";
}
