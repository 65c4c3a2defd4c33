#include "VelorinTest.h"

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>

using namespace juce;

// What the user stored is never lost: damaged files are kept aside before anything replaces them,
// unreadable ones are left alone. (Copies running side by side: DataFilesTest.)

class DataSafetyTest : public VelorinTest
{
protected:
    void SetUp() override { privateHome.dataFolder().createDirectory(); }

    /** Runs the program in a process of its own, after `prepare` there: it adds the song and quits. Returns the
        process's exit status (0 when `prepare` succeeded), then the files in the data folder and their sizes. */
    String runInChild (const std::function<bool()>& prepare) const
    {
        const auto child = fork();

        if (child == 0)
        {
            const bool prepared = prepare();
            ReplayProcessor().addFile (song);
            _exit (prepared ? 0 : 1);
        }

        int status = -1;
        waitpid (child, &status, 0);
        StringArray files;

        for (const auto& file : privateHome.dataFolder().findChildFiles (File::findFiles, false))
            files.add (file.getFileName() + " " + String (file.getSize()));

        files.sort (false);
        return "exit " + String (status) + ": " + files.joinIntoString (", ");
    }

    const File song = audioFile ("song.wav");
};

TEST_F (DataSafetyTest, ALargeDataFileReadsBackAndManyNewFilesKeepTheirOrder)
{
    // Beyond the 64 MiB that a data file of 41,000 long paths reaches, and past the 256 elements from which new ones
    // are put in order only before the file is written. (Long names: each element's line wraps after its name.)
    const auto stored = audioFile ("a take stored before, with a long name.wav");
    dataFile ("data.xml")
        .replaceWithText ("<data><!--" + String::repeatedString ("x", 65 << 20) + "-->"
                          + String::repeatedString ("<x/>", 300) + "<" + keyOf (stored) + " cue=\"0.5\"/></data>");
    {
        ReplayProcessor processor;
        processor.addFile (audioFile ("a new take with a long name, the first.wav"));
        processor.addFile (stored);
        processor.addFile (audioFile ("a new take with a long name, the second.wav"));
    }
    note ("after the elements kept", read ("data.xml").fromLastOccurrenceOf ("<x/>", false, false));
}

TEST_F (DataSafetyTest, AFileThatCannotBeReadIsLeftIntact)
{
    for (auto name : { "data.xml", "midi.map" })
    {
        dataFile (name).replaceWithText ("<stored/>");
        chmod (dataFile (name).getFullPathName().toRawUTF8(), 0);
    }

    const auto outcome = runInChild (
        []
        {
            // Without its capabilities, root too is refused what the permissions refuse.
            __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
            __user_cap_data_struct none[2] {};
            return syscall (SYS_capset, &header, none) == 0;
        });

    EXPECT_EQ (outcome, "exit 0: data.xml 9, midi.map 9");
}

TEST_F (DataSafetyTest, AFileSizeLimitFailsTheWriteLikeAFullDiskAndTheOtherFilesAreStillWritten)
{
    // A damaged data file larger than the limit: its copy can't be completed, so it is left as it is.
    dataFile ("data.xml").replaceWithText ("<data>" + String::repeatedString ("<x cue=\"1\"/>", 10000) + "<<");

    const auto outcome = runInChild (
        []
        {
            std::signal (SIGXFSZ, SIG_DFL);   // as for any program started
            const rlimit limit { 65536, 65536 };
            return setrlimit (RLIMIT_FSIZE, &limit) == 0;
        });

    EXPECT_EQ (outcome, "exit 0: .lock 0, data.xml 120008, midi.map 94");
}

TEST_F (DataSafetyTest, ElementsNamedTogetherAmongManyKeepTheirNamesAndOrder)
{
    XmlElement root ("data");
    StringArray expected;

    for (int i = 0; i < 5000; ++i)
    {
        expected.add ("old" + String (i));
        root.createNewChildElement (expected[i]);
    }

    PointStore store (&root);
    {
        const PointStore::Batch batch (store);   // as many new as there were: the pool's names are put back at once

        for (int i = 0; i < 5000; ++i)
        {
            expected.add ("new" + String (i));
            store.claim (expected[5000 + i], "/audio/" + String (i) + ".wav");
        }
    }
    store.restoreOrder();

    StringArray names;

    for (auto* element : root.getChildIterator())
        names.add (element->getTagName());

    EXPECT_EQ (names, expected);
}
