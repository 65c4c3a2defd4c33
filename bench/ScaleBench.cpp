#include "engine/XmlFiles.h"
#include "TestKit.h"

#include <juce_cryptography/juce_cryptography.h>

// How the playlist, the data file and the folder scan grow with the number of files: time
// per file at 1,000, 10,000 and 100,000 files should stay about the same, and files new to
// the data file should cost about what known ones cost.

double secondsOf (const std::function<void()>& work);   // in velorin_bench.cpp

namespace
{
    /** n WAV files of 10 ms, `perFolder` to a folder: copies of one. */
    void makeFiles (const juce::File& root, int n, int perFolder)
    {
        const auto first = root.getChildFile ("f0/take 0.wav");
        testkit::writeAudio (first, 8000.0, 1, 80, 16);

        for (int i = 1; i < n; ++i)
        {
            const auto file = root.getChildFile (juce::String::formatted ("f%d/take %d.wav", i / perFolder, i));
            file.getParentDirectory().createDirectory();
            first.copyFileTo (file);
        }
    }

    void report (const juce::String& what, int n, double seconds)
    {
        std::fflush (stderr);
        std::printf ("  %-34s %6d files  %8.3f s  %7.1f us/file\n", what.toRawUTF8(), n, seconds, 1.0e6 * seconds / n);
    }
}

void scaleSection (const juce::File& folder)
{
    std::printf ("\n== scale: the playlist, the data file and the folder scan by the number of files ==\n");

    for (const int n : { 1000, 10000, 100000 })
    {
        const auto root = folder.getChildFile ("scale" + juce::String (n));
        makeFiles (root.getChildFile ("one"), n, n);
        makeFiles (root.getChildFile ("many"), n, 20);
        auto processor = std::make_unique<ReplayProcessor>();

        // The first time with files new to the data file, then again once they are known.
        const auto twice = [&] (const juce::String& what, const std::function<void()>& work)
        {
            for (auto pass : { ", new", ", known" })
            {
                processor->clearPlaylist();
                report (what + pass, n, secondsOf (work));
            }
        };

        twice ("+PATH, one folder", [&] { processor->addDirectory (root.getChildFile ("one")); });
        report ("SAVE", n, secondsOf ([&] { processor->savePlaylist (root.getChildFile ("list.xml")); }));
        twice ("+PATH, 20 files a folder", [&] { processor->addDirectory (root.getChildFile ("many")); });
        processor.reset();   // and the data file forgotten: the playlist's files are new again
        ReplayProcessor::getDataFile().deleteFile();
        processor = std::make_unique<ReplayProcessor>();
        twice ("LOAD of the saved playlist", [&] { processor->loadPlaylist (root.getChildFile ("list.xml")); });
        report ("CLEAR and the write at exit", n, secondsOf ([&] { processor.reset(); }));
    }

    // A data file of 100,000 entries, read at start (with none of its names known yet).
    juce::XmlElement data ("data");

    for (int i = 100000; --i >= 0;)   // prepended: appending walks all the children each time
    {
        const auto path = "/music/a rather long folder name/take " + juce::String (i) + ".wav";
        auto* element = new juce::XmlElement (juce::StringRef (juce::MD5 (path.toUTF8()).toHexString()));
        data.prependChildElement (element);
        element->setAttribute ("name", path);
        element->setAttribute ("cue", "1.5");
        element->setAttribute ("p1", "0");
        element->setAttribute ("p2", "0");
    }

    XmlFiles::writeDocument (data, ReplayProcessor::getDataFile());
    juce::StringPool::getGlobalPool().garbageCollect();

    std::unique_ptr<ReplayProcessor> reading;
    report ("data.xml read at start", 100000, secondsOf ([&] { reading = std::make_unique<ReplayProcessor>(); }));
    report ("the same, written at exit", 100000, secondsOf ([&] { reading.reset(); }));
}
