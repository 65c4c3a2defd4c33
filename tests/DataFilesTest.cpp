#include "VelorinTest.h"
#include "engine/XmlFiles.h"
#include "ui/ConfigFile.h"
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace juce;

// The files the program writes (data.xml, midi.map, .config, playlists), byte for byte, what the next run reads
// back from them, also when copies of the program run side by side, and what it makes of foreign or damaged ones.

class DataFilesTest : public VelorinTest
{
protected:
    void SetUp() override { privateHome.dataFolder().createDirectory(); }

    /** Runs the program with the two takes, changing nothing, then notes the step and each file of the data folder
        with what it holds, their data key named "shared-key": what the run read, it wrote back. */
    void noteNextRun (const String& step)
    {
        {
            ReplayProcessor processor;
            processor.addFile (take1);
            processor.addFile (take2);
        }

        note (step);
        auto files = privateHome.dataFolder().findChildFiles (File::findFiles, false);
        files.sort();

        for (const auto& file : files)
        {
            note ("  " + file.getFileName() + (file.isSymbolicLink() ? " (a link)" : ""),
                  read (file).replace (keyOf (take1), "shared-key"));
        }
    }

    // A key hashes as many bytes of the path as it has characters: in a folder beyond ASCII, these two files share
    // theirs, and keep their own points. (Their long paths wrap the line of their element after its name, whatever
    // the temporary HOME is called.)
    const String folder = CharPointer_UTF8 ("\xc3\x9c"
                                            "bungen/\xe6\x97\xa5\xe6\x9c\xac/");
    const File take1 = audioFile (folder + "take1.wav");
    const File take2 = audioFile (folder + "take2.wav");
};

TEST_F (DataFilesTest, ExactBytes)
{
    // Settings of another root after a byte-order mark: what they hold stays.
    dataFile (".config").replaceWithText (
        CharPointer_UTF8 ("\xef\xbb\xbf<settings Theme=\"dark\" LastUsedFile=\"/x\"><window w=\"3\"/></settings>"));
    {
        ReplayProcessor processor;
        ConfigFile config ("Velorin");
        config.setValue ("LastUsedPath", CharPointer_UTF8 ("/m\xc3\xbasica & \"live\""));

        for (auto file : { take1, take2, audio.getChildFile ("never & opens.wav"), take1 })
            processor.addFile (file);

        // Rows of one file share their points: the first row's loop start and the last row's cue are both kept.
        processor.playlist[0]->loopA = 0.1f;
        processor.playlist[3]->cue = 1.5f;
        processor.playlist[1]->loopB = 1.0e-7f;
        processor.midiMap.setMessage (1, "f0 7d 01 02 03 04 05 06 07 08 09 0a f7");
        processor.savePlaylist (dataFile ("list.xml"));
    }
    noteNextRun ("after a run and the next");
}

TEST_F (DataFilesTest, ForeignRootsAreReadAndDamagedFilesCopiedAside)
{
    // Any root is read, after a byte-order mark too, and written back with what else it held.
    const auto bom = String::fromUTF8 ("\xef\xbb\xbf");
    dataFile ("data.xml")
        .replaceWithText (bom + "<points><" + keyOf (take1) + " cue=\"0.5\"/><keep x=\"1\"/></points>");
    dataFile ("midi.map").replaceWithText (bom + "<other midi-1=\"fa\" midi-7=\"fb\"/>");
    noteNextRun ("other roots");

    for (auto name : { "data.xml", "midi.map" })
        dataFile (name).replaceWithText ("<data midi-0=\"90 3c 7f\"><abc cue=\"1\"<<<<");
    noteNextRun ("damaged files");
}

TEST_F (DataFilesTest, TwoCopiesQuittingTogetherKeepBothCopiesChanges)
{
    noteNextRun ("before the rounds");   // the elements of both files are there, in the order they keep
    const auto stored = dataFile ("data.xml").loadFileAsString();
    StringArray outcomes;

    for (int round = 0; round < 20; ++round)
    {
        dataFile ("data.xml").replaceWithText (stored);
        dataFile ("midi.map").deleteFile();
        std::optional<ReplayProcessor> copies[2];

        // Each copy sets the cue of its own file and learns its own row. Then this process quits one copy and a
        // child the other: together.
        for (int i = 0; i < 2; ++i)
        {
            auto& copy = copies[i].emplace();
            copy.addFile (i == 0 ? take1 : take2);
            copy.playlist[0]->cue = 0.5f;
            copy.midiMap.setMessage (i, "b0 01 7f");
        }

        const auto child = fork();
        copies[child == 0 ? 1 : 0].reset();

        if (child == 0)
            _exit (0);

        waitpid (child, nullptr, 0);
        outcomes.addIfNotAlreadyThere (read ("data.xml") + read ("midi.map"));
    }

    note ("every round", outcomes.joinIntoString ("\nanother round: "));
}

TEST_F (DataFilesTest, ACopyThatCannotGetTheLockLeavesTheFileAlone)
{
    dataFile ("midi.map").replaceWithText ("<midimap midi-0=\"90 3c 7f\"/>");
    MidiMap map;
    map.setMessage (0, "b0 01 7f");
    {
        const XmlFiles::WriteLock anotherCopys;
        map.write();   // waits for the lock, in vain
    }
    EXPECT_EQ (read ("midi.map"), "<midimap midi-0=\"90 3c 7f\"/>");
}

TEST_F (DataFilesTest, TheStartUpCleanupRemovesOnlyTemporaryFilesOfOursThatNoOneWrites)
{
    for (auto name : { "data.xml.tmp-1", "midi.map.tmp-999999999", ".config.bak.tmp-5", "data_temp1a2B3c.xml",
                       "midi_temp99.map", "_temp0f.config", "data.xml.tmp-", "notes.txt.tmp-4000000",
                       "data_temp (my copy).xml", "midi_temp-keep.map", "_temp_my.config", "midi.map.tmp-77" })
        dataFile (name).create();

    // midi.map.tmp-77 is being written by a copy in another PID namespace, which holds a lock on it.
    const int writer = open (dataFile ("midi.map.tmp-77").getFullPathName().toRawUTF8(), O_WRONLY | O_CLOEXEC);
    flock (writer, LOCK_EX);
    noteNextRun ("left at start");
    close (writer);
}

TEST_F (DataFilesTest, ALinkedDataFileStaysALinkAndItsTargetGetsTheContent)
{
    home.getChildFile ("dotfiles").createDirectory();

    for (auto name : { "data.xml", "midi.map" })   // relative, as dotfiles managers make them
        File::createSymbolicLink (dataFile (name), String ("../../../dotfiles/") + name, false);

    noteNextRun ("through links");
}
