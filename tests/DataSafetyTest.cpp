#include "VelorinTest.h"
#include "engine/XmlFiles.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>

// What the user stored is never lost: damaged files are kept aside before anything replaces them,
// unreadable ones are left alone. (Copies running side by side: DataFilesTest.)

class DataSafetyTest : public VelorinTest
{
protected:
    void SetUp() override   { ASSERT_TRUE (privateHome.dataFolder().createDirectory()); }
    const juce::File song = audioFile ("song.wav");
    const juce::String stored = "<data><" + keyOf (song) + " name=\"" + song.getFullPathName() + "\" cue=\"0.5\"/></data>", map = "<midimap midi-0=\"90 3c 7f\"/>";
};

TEST_F (DataSafetyTest, ALargeDataFileReadsBackAndManyNewFilesKeepTheirOrder)
{
    // beyond the 64 MiB that a data file of 41,000 long paths reaches
    *std::make_unique<juce::FileOutputStream> (dataFile ("data.xml")) << "<data><!--" << juce::String::repeatedString ("x", 65 << 20) << "-->" << stored.substring (6);
    juce::StringArray paths { song.getFullPathName() }, names;
    {
        ReplayProcessor processor;
        processor.addFile (song);
        EXPECT_EQ (processor.playlist[0]->cue, 0.5f);
        for (int i = 1; i <= 300; ++i)   // past the size from which new elements are put in order only before writing
            paths.add (song.getSiblingFile ("take" + juce::String (i) + ".wav").getFullPathName()), song.copyFileTo (paths[i]), processor.addFile (paths[i]);
    }
    const auto root = XmlFiles::parseFile (dataFile ("data.xml"));
    for (auto* element : root->getChildIterator())
        names.add (element->getStringAttribute ("name"));
    EXPECT_EQ (names, paths);
}

TEST_F (DataSafetyTest, ElementsNamedTogetherAmongManyKeepTheirNamesAndOrder)
{
    juce::XmlElement root ("data");
    juce::StringArray expected, names;
    for (int i = 0; i < 5000; ++i)
        expected.add ("old" + juce::String (i));
    for (int i = expected.size(); --i >= 0;)
        root.prependChildElement (new juce::XmlElement (expected[i]));
    PointStore store (&root);
    {
        const PointStore::Batch batch (store);   // as many new as there were: the pool's names are put back all at once
        for (int i = 0; i < 5000; ++i)
            store.claim ("new" + juce::String (i), "/audio/" + juce::String (i) + ".wav");
    }
    store.restoreOrder();
    for (int i = 0; i < 5000; ++i)
        expected.add ("new" + juce::String (i));
    for (auto* element : root.getChildIterator())
        names.add (element->getTagName());
    EXPECT_EQ (names, expected);
}

TEST_F (DataSafetyTest, AFileThatCannotBeReadOrCopiedIsLeftIntact)
{
    ASSERT_TRUE (dataFile ("data.xml").replaceWithText (stored) && dataFile ("midi.map").replaceWithText (map));
    for (auto f : { home, home.getChildFile (".config"), privateHome.dataFolder().getParentDirectory(), privateHome.dataFolder(), dataFile ("data.xml"), dataFile ("midi.map") })
        chmod (f.getFullPathName().toRawUTF8(), f.isDirectory() ? 0777 : 0);
    const bool root = geteuid() == 0;   // root reads anything: the program then runs as someone who can't
    ASSERT_TRUE (! root || seteuid (65534) == 0);
    auto nobody = std::make_unique<ReplayProcessor>();
    nobody->addFile (song), nobody->playlist[0]->cue = 0.25f, nobody->midiMap.setMessage (1, "b0 01 7f"), nobody.reset();
    ASSERT_TRUE (! root || seteuid (0) == 0);
    EXPECT_EQ (dataFile ("data.xml").loadFileAsString() + dataFile ("midi.map").loadFileAsString(), stored + map);
    EXPECT_FALSE (dataFile ("data.xml.bak").exists());

    // A damaged file on a nearly full disk (no file may grow beyond 4 KB) is replaced only once its copy is complete.
    const auto damaged = "<data>" + juce::String::repeatedString ("<x cue=\"1\"/>", 1000) + "<<";
    ASSERT_TRUE (dataFile ("data.xml").replaceWithText (damaged));
    rlimit previous {};
    std::signal (SIGXFSZ, SIG_IGN), getrlimit (RLIMIT_FSIZE, &previous);
    const rlimit small { 4096, previous.rlim_max };
    ASSERT_EQ (setrlimit (RLIMIT_FSIZE, &small), 0);
    { ReplayProcessor processor; processor.addFile (song); }
    setrlimit (RLIMIT_FSIZE, &previous);
    EXPECT_EQ (dataFile ("data.xml").loadFileAsString(), damaged);
    { ReplayProcessor processor; }
    EXPECT_EQ (dataFile ("data.xml.bak").loadFileAsString(), damaged);
}

TEST_F (DataSafetyTest, AFileSizeLimitFailsTheWriteLikeAFullDiskAndTheOtherFilesAreStillWritten)
{
    const auto large = "<data>" + juce::String::repeatedString ("<x cue=\"1\"/>", 10000) + "</data>";
    ASSERT_TRUE (dataFile ("data.xml").replaceWithText (large));

    // A copy with a limit below the data.xml it writes: 64 KB.
    const auto copy = fork();

    if (copy == 0)
    {
        std::signal (SIGXFSZ, SIG_DFL);
        rlimit limit {};
        getrlimit (RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 65536;
        setrlimit (RLIMIT_FSIZE, &limit);
        {
            ReplayProcessor processor;
            processor.addFile (song);
            processor.playlist[0]->cue = 0.25f;
            processor.midiMap.setMessage (1, "b0 01 7f");
        }
        _exit (0);
    }

    int status = -1;
    waitpid (copy, &status, 0);
    EXPECT_EQ (status, 0) << "the copy did not end normally";
    EXPECT_EQ (dataFile ("data.xml").loadFileAsString(), large);
    EXPECT_TRUE (dataFile ("midi.map").loadFileAsString().contains ("b0 01 7f")) << "midi.map not written";
    EXPECT_EQ (privateHome.dataFolder().findChildFiles (juce::File::findFiles, false, "*.tmp-*").size(), 0);
}
