#include "VelorinTest.h"
#include "engine/XmlFiles.h"
#include "ui/ConfigFile.h"

#include <sys/resource.h>
#include <csignal>
#include <unistd.h>

// What the user stored is never lost: odd but valid files are read, damaged ones are kept
// aside before anything replaces them, unreadable ones are left alone, and copies of the
// program running side by side keep each other's changes.

class DataSafetyTest : public VelorinTest
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE (privateHome.dataFolder().createDirectory());
        song = audio.getChildFile ("song.wav");
        ASSERT_TRUE (testkit::writeAudio (song, 8000.0, 1, 8000));
    }

    juce::File data (const juce::String& name) const   { return privateHome.dataFolder().getChildFile (name); }

    juce::String keyOf (const juce::File& file) const
    {
        juce::AudioFormatManager manager;
        manager.registerBasicFormats();
        return PlaylistEntry (file, &manager, nullptr).getKey();
    }

    juce::String storedSong (const juce::String& cue) const
    {
        return "<data><" + keyOf (song) + " name=\"" + song.getFullPathName() + "\" cue=\"" + cue + "\"/></data>";
    }

    juce::File song;
};

TEST_F (DataSafetyTest, OddButValidDocumentsAreReadAndHostileOnesRefused)
{
    const juce::String body = "<data><x a=\"1\"/></data>";
    const juce::String deep = juce::String::repeatedString ("<a>", 40000) + juce::String::repeatedString ("</a>", 40000);

    struct Case { juce::String text; bool parses; };
    const Case cases[] = {
        { juce::String::fromUTF8 ("\xef\xbb\xbf") + body, true },                        // byte-order mark
        { juce::String::fromUTF8 ("\xef\xbb\xbf") + "<?xml version=\"1.0\"?>" + body, true },
        { "<data><!-- Tom & Jerry <?x?> --><x a=\"1\"/></data>", true },                // a comment is never parsed
        { "<data><x a=\"1 &gt; 0\"/><![CDATA[ & < ]]></data>", true },
        { juce::String::repeatedString ("<a>", 200) + juce::String::repeatedString ("</a>", 200), true },
        { deep, false },                                                                // would overflow the stack
        { "<data><x a=\"&amp\"/></data>", false },                                      // a reference cut short
        { "<data><?pi x?></data>", false },
        { "<!DOCTYPE d SYSTEM \"/dev/zero\"><data/>", false },
    };

    for (const auto& c : cases)
    {
        const auto file = home.getChildFile ("doc.xml");
        ASSERT_TRUE (file.replaceWithData (c.text.toRawUTF8(), c.text.getNumBytesAsUTF8()));
        EXPECT_EQ (XmlFiles::parseFile (file) != nullptr, c.parses) << c.text.substring (0, 60);
    }

    // Each kind of file takes its content through a byte-order mark, and a deep one is a
    // damaged file, kept aside, never a crash.
    const auto bom = juce::String::fromUTF8 ("\xef\xbb\xbf");
    ASSERT_TRUE (data ("data.xml").replaceWithText (bom + storedSong ("0.5")));
    ASSERT_TRUE (data ("midi.map").replaceWithText (bom + "<midimap midi-0=\"90 3c 7f\"/>"));
    ASSERT_TRUE (data (".config").replaceWithText (bom + "<config LastUsedPath=\"/music\"/>"));
    {
        ReplayProcessor processor;
        processor.addFile (song);
        EXPECT_EQ (processor.playlist[0]->cue, 0.5f);
        EXPECT_EQ (processor.midiMap.mappings[0].message, "90 3c 7f");
        EXPECT_EQ (ConfigFile ("Velorin").getValue ("LastUsedPath"), "/music");
    }

    ASSERT_TRUE (data ("midi.map").replaceWithText (deep));
    {
        MidiMap map;
        EXPECT_TRUE (map.mappings[0].message.isEmpty());
    }
    EXPECT_EQ (data ("midi.map.bak").loadFileAsString(), deep);
}

TEST_F (DataSafetyTest, ALargeDataFileReadsBack)
{
    // Beyond the 64 MiB a data file of 41,000 long paths reaches.
    const auto file = data ("data.xml");
    {
        juce::FileOutputStream out (file);
        out << storedSong ("0.5").replace ("<data>", "<data><!--");
        const juce::String filler = juce::String::repeatedString ("x", 1 << 20);

        for (int i = 0; i < 65; ++i)
            out << filler;

        out << "-->" << storedSong ("0.5").fromFirstOccurrenceOf ("<data>", false, false);
    }
    ASSERT_GT (file.getSize(), (juce::int64) 65 << 20);

    ReplayProcessor processor;
    processor.addFile (song);
    EXPECT_EQ (processor.playlist[0]->cue, 0.5f);
}

TEST_F (DataSafetyTest, ManyNewFilesAreStoredInTheOrderTheyWereAdded)
{
    juce::StringArray paths;
    {
        ReplayProcessor processor;

        for (int i = 0; i < 300; ++i)
        {
            paths.add (song.getSiblingFile ("take" + juce::String (i) + ".wav").getFullPathName());
            ASSERT_TRUE (song.copyFileTo (juce::File (paths[i])));
            processor.addFile (juce::File (paths[i]));
        }
    }

    juce::StringArray stored;
    const auto root = XmlFiles::parseFile (data ("data.xml"));
    for (auto* element : root->getChildIterator())
        stored.add (element->getStringAttribute ("name"));

    EXPECT_EQ (stored, paths);
}

TEST_F (DataSafetyTest, AFileThatCannotBeReadIsLeftAlone)
{
    const auto stored = storedSong ("0.5");
    ASSERT_TRUE (data ("data.xml").replaceWithText (stored));
    ASSERT_TRUE (data ("midi.map").replaceWithText ("<midimap midi-0=\"90 3c 7f\"/>"));

    for (auto folder : { home, home.getChildFile (".config"), privateHome.dataFolder().getParentDirectory(), privateHome.dataFolder() })
        folder.setExecutePermission (true), chmod (folder.getFullPathName().toRawUTF8(), 0777);

    chmod (data ("data.xml").getFullPathName().toRawUTF8(), 0);
    chmod (data ("midi.map").getFullPathName().toRawUTF8(), 0);

    // Root reads anything: the program then runs as someone who can't.
    const bool dropped = geteuid() == 0;
    ASSERT_TRUE (! dropped || seteuid (65534) == 0);
    {
        ReplayProcessor processor;
        processor.addFile (song);
        processor.playlist[0]->cue = 0.25f;
        processor.midiMap.mappings[1].message = "b0 01 7f";
    }
    ASSERT_TRUE (! dropped || seteuid (0) == 0);

    EXPECT_EQ (data ("data.xml").loadFileAsString(), stored);
    EXPECT_EQ (data ("midi.map").loadFileAsString(), "<midimap midi-0=\"90 3c 7f\"/>");
    EXPECT_FALSE (data ("data.xml.bak").exists());
}

TEST_F (DataSafetyTest, ADamagedFileIsReplacedOnlyOnceItsCopyIsComplete)
{
    const auto damaged = "<data>" + juce::String::repeatedString ("<x cue=\"1\"/>", 1000) + "<<";
    ASSERT_TRUE (data ("data.xml").replaceWithText (damaged));

    // A nearly full disk: no file may grow beyond 4 KB.
    std::signal (SIGXFSZ, SIG_IGN);
    rlimit previous {};
    getrlimit (RLIMIT_FSIZE, &previous);
    rlimit small = previous;
    small.rlim_cur = 4096;
    ASSERT_EQ (setrlimit (RLIMIT_FSIZE, &small), 0);
    {
        ReplayProcessor processor;
        processor.addFile (song);
    }
    setrlimit (RLIMIT_FSIZE, &previous);

    EXPECT_EQ (data ("data.xml").loadFileAsString(), damaged);

    // With room again, the copy is made and then the file is replaced.
    {
        ReplayProcessor processor;
    }
    EXPECT_EQ (data ("data.xml.bak").loadFileAsString(), damaged);
    EXPECT_TRUE (data ("data.xml").loadFileAsString().contains ("<data/>"));
}

TEST_F (DataSafetyTest, CopiesRunningSideBySideKeepEachOthersChanges)
{
    const auto other = audio.getChildFile ("other.wav");
    ASSERT_TRUE (testkit::writeAudio (other, 8000.0, 1, 8000));

    auto a = std::make_unique<ReplayProcessor>();
    auto b = std::make_unique<ReplayProcessor>();
    a->addFile (song);
    b->addFile (song);
    b->addFile (other);

    a->playlist[0]->cue = 0.5f;
    a->midiMap.mappings[0].message = "90 3c 7f";
    a.reset();

    b->playlist[1]->cue = 0.25f;
    b->midiMap.mappings[1].message = "b0 01 7f";
    b.reset();

    ReplayProcessor c;
    c.addFile (song);
    c.addFile (other);
    EXPECT_EQ (c.playlist[0]->cue, 0.5f);
    EXPECT_EQ (c.playlist[1]->cue, 0.25f);
    EXPECT_EQ (c.midiMap.mappings[0].message, "90 3c 7f");
    EXPECT_EQ (c.midiMap.mappings[1].message, "b0 01 7f");

    // For a file changed in both, the last to quit wins.
    auto d = std::make_unique<ReplayProcessor>();
    d->addFile (song);
    c.playlist[0]->cue = 0.125f;
    d->playlist[0]->cue = 0.375f;
    c.clearPlaylist();
    c.writeDataFiles();
    d.reset();
    EXPECT_TRUE (data ("data.xml").loadFileAsString().contains ("cue=\"0.375\""));
}

TEST_F (DataSafetyTest, LeftoversOfInterruptedWritesAreRemovedAtStart)
{
    const juce::StringArray litter { "data_temp1a2b3c4d.xml", "midi_temp99.map", "_temp0f.config",
                                     "data.xml.tmp-999999999" };

    for (auto& name : litter)
        ASSERT_TRUE (data (name).replaceWithText ("<data/>"));

    const auto running = data ("data.xml.tmp-1");   // pid 1 is running: its write may be under way
    ASSERT_TRUE (running.replaceWithText ("<data/>"));

    ReplayProcessor processor;

    for (auto& name : litter)
        EXPECT_FALSE (data (name).exists()) << name;

    EXPECT_TRUE (running.exists());
}
