#include "engine/XmlFiles.h"
#include "TestKit.h"

#include <juce_cryptography/juce_cryptography.h>

// How the playlist, the data file and the folder scan grow with the number of files: time
// per file at 1,000 and 10,000 files should stay about the same.

double secondsOf (const std::function<void()>& work);   // in velorin_bench.cpp

namespace
{
    /** n WAV files of 10 ms, `perFolder` to a folder. */
    void makeFiles (const juce::File& root, int n, int perFolder)
    {
        for (int i = 0; i < n; ++i)
        {
            const auto file = root.getChildFile (juce::String::formatted ("f%d/take %d.wav", i / perFolder, i));
            testkit::writeAudio (file, 8000.0, 1, 80, 16);
        }
    }

    void report (const char* what, int n, double seconds)
    {
        std::fflush (stderr);
        std::printf ("  %-34s %6d files  %8.3f s  %7.1f us/file\n", what, n, seconds, 1.0e6 * seconds / n);
    }
}

void scaleSection (const juce::File& folder)
{
    std::printf ("\n== scale: the playlist, the data file and the folder scan by the number of files ==\n");
    for (const int n : { 1000, 10000 })
    {
        const auto root = folder.getChildFile ("scale" + juce::String (n));
        makeFiles (root.getChildFile ("one"), n, n);
        makeFiles (root.getChildFile ("many"), n, 20);

        auto processor = std::make_unique<ReplayProcessor>();
        report ("+PATH, one folder", n, secondsOf ([&] { processor->addDirectory (root.getChildFile ("one")); }));
        report ("SAVE", n, secondsOf ([&] { processor->savePlaylist (root.getChildFile ("list.xml")); }));
        processor->clearPlaylist();
        report ("+PATH, 20 files a folder", n, secondsOf ([&]
        {
            processor->addDirectory (root.getChildFile ("many"));
        }));
        processor->clearPlaylist();
        report ("LOAD of the saved playlist", n, secondsOf ([&]
        {
            const auto loaded = XmlFiles::parseFile (root.getChildFile ("list.xml"));
            for (auto* item : loaded->getChildIterator())
                processor->addFile (juce::File (item->getStringAttribute ("name")));
        }));
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
