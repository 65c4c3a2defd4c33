#include "TestSupport.h"

// The per-file data file across runs: created at start, written at exit in its exact
// format, damaged files kept aside.

class ProcessorFilesTest : public TempHomeTest
{
protected:
    juce::File dataFile() const   { return dataFolder().getChildFile ("data.xml"); }

    /** A file whose path is long enough that the writer always wraps after "name". */
    juce::File makeAudio (const juce::String& name)
    {
        const auto folder = audioFolder().getChildFile ("a-folder-with-a-rather-long-name-for-wrapping");
        folder.createDirectory();
        const auto file = folder.getChildFile (name);
        testaudio::write (file, 8000.0, 2, 8000);
        return file;
    }

    static juce::String keyOf (const juce::File& file)
    {
        juce::AudioFormatManager manager;
        manager.registerBasicFormats();
        return PlaylistEntry (file, &manager, nullptr).getKey();
    }

    const juce::String declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n";
};

TEST_F (ProcessorFilesTest, FirstRunCreatesTheFileAndWritesAnEmptyRootAtExit)
{
    ASSERT_FALSE (dataFolder().exists());
    {
        ReplayProcessor processor;
        EXPECT_TRUE (dataFile().existsAsFile());
        EXPECT_EQ (dataFile().getSize(), 0);
        EXPECT_EQ (processor.dataRoot->getTagName(), "data");
    }

    EXPECT_EQ (dataFile().loadFileAsString(), declaration + "<data/>\r\n");
    EXPECT_TRUE (dataFolder().getChildFile ("midi.map").existsAsFile());
    EXPECT_FALSE (dataFolder().getChildFile ("data.xml.bak").exists());
}

TEST_F (ProcessorFilesTest, ExactBytesOfTheDataFile)
{
    const auto first = makeAudio ("first.wav");
    const auto second = makeAudio ("second.wav");
    {
        ReplayProcessor processor;
        processor.addFile (first);
        processor.addFile (second);
        processor.playlist[0]->cue = 1.5f;
        processor.playlist[0]->loopA = 0.1f;
        processor.playlist[1]->loopB = 2.25f;
    }

    // Wrapped attributes are indented under the first one: the element's indent, "<" and the key.
    const juce::String indent (juce::String::repeatedString (" ", 2 + 1 + 32));
    EXPECT_EQ (dataFile().loadFileAsString(),
               declaration
               + "<data>\r\n"
               + "  <" + keyOf (first) + " name=\"" + first.getFullPathName() + "\"\r\n"
               + indent + " cue=\"1.5\" p1=\"0.10000000149011611938\" p2=\"0\"/>\r\n"
               + "  <" + keyOf (second) + " name=\"" + second.getFullPathName() + "\"\r\n"
               + indent + " cue=\"0\" p1=\"0\" p2=\"2.25\"/>\r\n"
               + "</data>\r\n");
}

TEST_F (ProcessorFilesTest, PointsComeBackInTheNextRun)
{
    const auto file = makeAudio ("song.wav");
    {
        ReplayProcessor processor;
        processor.addFile (file);
        processor.playlist[0]->cue = 0.75f;
        processor.playlist[0]->loopA = 0.25f;
        processor.playlist[0]->loopB = 0.5f;
    }

    ReplayProcessor processor;
    processor.addFile (file);
    processor.addFile (file);   // the same file twice reads the same element
    for (auto* entry : processor.playlist)
    {
        EXPECT_EQ (entry->cue, 0.75f);
        EXPECT_EQ (entry->loopA, 0.25f);
        EXPECT_EQ (entry->loopB, 0.5f);
        EXPECT_EQ (entry->position, 0.75f);
    }

    // Rows of one file share its points: what was set last, on any row, is shown and stored,
    // also when a row is added while another is still there.
    processor.playlist[0]->cue = 0.125f;
    processor.playlist[1]->cue = 0.375f;
    EXPECT_EQ (processor.playlist[0]->cue, 0.375f);
    processor.removeEntry (0);
    processor.addFile (file);
    EXPECT_EQ (processor.playlist[1]->cue, 0.375f);
    processor.clearPlaylist();
    EXPECT_EQ (processor.dataRoot->getNumChildElements(), 1);
    EXPECT_EQ (processor.dataRoot->getChildElement (0)->getStringAttribute ("cue"), "0.375");
}

TEST_F (ProcessorFilesTest, DamagedFileIsKeptAsBackupBeforeItIsOverwritten)
{
    ASSERT_TRUE (dataFolder().createDirectory());
    const juce::String damaged = "<data><abc cue=\"1\"";
    ASSERT_TRUE (dataFile().replaceWithText (damaged + "<<<<"));
    const auto file = makeAudio ("song.wav");
    {
        ReplayProcessor processor;
        EXPECT_EQ (processor.dataRoot->getNumChildElements(), 0);
        processor.addFile (file);
    }

    EXPECT_EQ (dataFolder().getChildFile ("data.xml.bak").loadFileAsString(), damaged + "<<<<");
    EXPECT_TRUE (dataFile().loadFileAsString().contains (keyOf (file)));
}

TEST_F (ProcessorFilesTest, AnotherRootTagIsUsedAndWrittenBack)
{
    ASSERT_TRUE (dataFolder().createDirectory());
    const auto file = makeAudio ("song.wav");
    ASSERT_TRUE (dataFile().replaceWithText ("<points><" + keyOf (file) + " cue=\"0.5\"/><keep x=\"1\"/></points>"));
    {
        ReplayProcessor processor;
        processor.addFile (file);
        EXPECT_EQ (processor.playlist[0]->cue, 0.5f);
    }

    const auto text = dataFile().loadFileAsString();
    EXPECT_TRUE (text.startsWith (declaration + "<points>"));
    EXPECT_TRUE (text.contains ("<keep x=\"1\"/>"));
    EXPECT_TRUE (text.contains ("cue=\"0.5\" name=\"" + file.getFullPathName() + "\""));
}

TEST_F (ProcessorFilesTest, FileThatCannotBeOpenedKeepsItsStoredPoints)
{
    const auto file = makeAudio ("song.wav");
    {
        ReplayProcessor processor;
        processor.addFile (file);
        processor.playlist[0]->cue = 0.5f;
    }

    ASSERT_TRUE (file.replaceWithText ("damaged"));
    {
        ReplayProcessor processor;
        processor.addFile (file);
        EXPECT_EQ (processor.playlist[0]->cue, 0.0f);
    }

    testaudio::write (file, 8000.0, 2, 8000);
    ReplayProcessor processor;
    processor.addFile (file);
    EXPECT_EQ (processor.playlist[0]->cue, 0.5f);
}
