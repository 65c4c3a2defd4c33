#include "VelorinTest.h"
#include "engine/XmlFiles.h"

#include <sys/resource.h>
#include <csignal>
#include <unistd.h>

// What the user stored is never lost: damaged files are kept aside before anything replaces
// them, unreadable ones are left alone, and copies of the program running side by side keep
// each other's changes. (Odd and hostile documents are in HostileInputTest and DataFilesTest.)

class DataSafetyTest : public VelorinTest
{
protected:
    void SetUp() override   { ASSERT_TRUE (privateHome.dataFolder().createDirectory()); }
    const juce::File song = audioFile ("song.wav");
    const juce::String stored = "<data><" + keyOf (song) + " name=\"" + song.getFullPathName() + "\" cue=\"0.5\"/></data>";
};

TEST_F (DataSafetyTest, ALargeDataFileReadsBackAndManyNewFilesKeepTheirOrder)
{
    {   // beyond the 64 MiB that a data file of 41,000 long paths reaches
        juce::FileOutputStream out (dataFile ("data.xml"));
        out << "<data><!--" << juce::String::repeatedString ("x", 65 << 20) << "-->" << stored.substring (6);
    }
    juce::StringArray paths { song.getFullPathName() }, names;
    {
        ReplayProcessor processor;
        processor.addFile (song);
        EXPECT_EQ (processor.playlist[0]->cue, 0.5f);
        for (int i = 1; i <= 300; ++i)   // past the size from which new elements are put in order only before writing
        {
            paths.add (song.getSiblingFile ("take" + juce::String (i) + ".wav").getFullPathName());
            ASSERT_TRUE (song.copyFileTo (paths[i]));
            processor.addFile (paths[i]);
        }
    }
    const auto root = XmlFiles::parseFile (dataFile ("data.xml"));
    for (auto* element : root->getChildIterator())
        names.add (element->getStringAttribute ("name"));
    EXPECT_EQ (names, paths);
}

TEST_F (DataSafetyTest, AFileThatCannotBeReadOrCopiedIsLeftIntact)
{
    ASSERT_TRUE (dataFile ("data.xml").replaceWithText (stored) && dataFile ("midi.map").replaceWithText ("<midimap midi-0=\"90 3c 7f\"/>"));
    for (auto folder : { home, home.getChildFile (".config"), privateHome.dataFolder().getParentDirectory(), privateHome.dataFolder() })
        chmod (folder.getFullPathName().toRawUTF8(), 0777);
    for (auto name : { "data.xml", "midi.map" })
        chmod (dataFile (name).getFullPathName().toRawUTF8(), 0);
    const bool root = geteuid() == 0;   // root reads anything: the program then runs as someone who can't
    ASSERT_TRUE (! root || seteuid (65534) == 0);
    {
        ReplayProcessor processor;
        processor.addFile (song);
        processor.playlist[0]->cue = 0.25f, processor.midiMap.mappings[1].message = "b0 01 7f";
    }
    ASSERT_TRUE (! root || seteuid (0) == 0);
    EXPECT_EQ (dataFile ("data.xml").loadFileAsString() + dataFile ("midi.map").loadFileAsString(), stored + "<midimap midi-0=\"90 3c 7f\"/>");
    EXPECT_FALSE (dataFile ("data.xml.bak").exists());

    // A damaged file on a nearly full disk, where no file may grow beyond 4 KB: it is replaced
    // only once there is room for its copy.
    const auto damaged = "<data>" + juce::String::repeatedString ("<x cue=\"1\"/>", 1000) + "<<";
    ASSERT_TRUE (dataFile ("data.xml").replaceWithText (damaged));
    std::signal (SIGXFSZ, SIG_IGN);
    rlimit previous {};
    getrlimit (RLIMIT_FSIZE, &previous);
    const rlimit small { 4096, previous.rlim_max };
    ASSERT_EQ (setrlimit (RLIMIT_FSIZE, &small), 0);
    { ReplayProcessor processor; processor.addFile (song); }
    setrlimit (RLIMIT_FSIZE, &previous);
    EXPECT_EQ (dataFile ("data.xml").loadFileAsString(), damaged);
    { ReplayProcessor processor; }
    EXPECT_EQ (dataFile ("data.xml.bak").loadFileAsString(), damaged);
    EXPECT_TRUE (dataFile ("data.xml").loadFileAsString().contains ("<data/>"));
}

TEST_F (DataSafetyTest, CopiesRunningSideBySideKeepEachOthersChanges)
{
    const auto other = audioFile ("other.wav");
    auto a = std::make_unique<ReplayProcessor>(), b = std::make_unique<ReplayProcessor>();
    a->addFile (song), b->addFile (song), b->addFile (other);
    a->playlist[0]->cue = 0.5f, a->midiMap.mappings[0].message = "90 3c 7f";
    a.reset();
    b->playlist[1]->cue = 0.25f, b->midiMap.mappings[1].message = "b0 01 7f";
    b.reset();
    ReplayProcessor c;
    c.addFile (song), c.addFile (other);
    EXPECT_EQ (juce::String (c.playlist[0]->cue.load()) + " " + juce::String (c.playlist[1]->cue.load()) + " " + c.midiMap.mappings[0].message + " "
                   + c.midiMap.mappings[1].message, "0.5 0.25 90 3c 7f b0 01 7f");
    // For a file changed in both, the last to quit wins.
    auto d = std::make_unique<ReplayProcessor>();
    d->addFile (song);
    c.playlist[0]->cue = 0.125f, d->playlist[0]->cue = 0.375f;
    c.clearPlaylist();
    c.writeDataFiles();
    d.reset();
    EXPECT_TRUE (dataFile ("data.xml").loadFileAsString().contains ("cue=\"0.375\""));
}
