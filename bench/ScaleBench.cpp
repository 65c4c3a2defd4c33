#include "engine/XmlFiles.h"
#include "TestKit.h"

#include <juce_cryptography/juce_cryptography.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

// How the playlist, the data file and the folder scan grow with the number of files: time
// per file at 1,000, 10,000 and 100,000 files should stay about the same.

namespace
{
    double secondsOf (const std::function<void()>& work)
    {
        const auto start = std::chrono::steady_clock::now();
        work();
        return std::chrono::duration<double> (std::chrono::steady_clock::now() - start).count();
    }

    /** n tiny WAV files, `perFolder` to a folder; returns them in playlist order. */
    juce::Array<juce::File> makeFiles (const juce::File& root, int n, int perFolder)
    {
        const auto first = root.getChildFile ("first.wav");
        root.createDirectory();
        testkit::writeAudio (first, 8000.0, 1, 80, 16);
        juce::MemoryBlock wav;
        first.loadFileAsData (wav);
        first.deleteFile();

        juce::Array<juce::File> files;

        for (int i = 0; i < n; ++i)
        {
            const auto folder = perFolder < n ? root.getChildFile ("f" + juce::String (i / perFolder)) : root;
            folder.createDirectory();
            files.add (folder.getChildFile ("take " + juce::String (i) + ".wav"));
            files.getLast().replaceWithData (wav.getData(), wav.getSize());
        }

        return files;
    }

    void report (const char* what, int n, double seconds)
    {
        std::fflush (stderr);
        std::printf ("  %-34s %6d files  %8.3f s  %7.1f us/file\n", what, n, seconds, 1.0e6 * seconds / n);
    }
}

bool runScaleBenchmark (const juce::File& workFolder)
{
    // The scan prints a line per file it adds.
    std::fflush (stderr);
    const int savedStderr = ::dup (2);
    const int devNull = ::open ("/dev/null", O_WRONLY);
    ::dup2 (devNull, 2);
    ::close (devNull);

    for (const int n : { 1000, 10000, 100000 })
    {
        const auto root = workFolder.getChildFile ("scale" + juce::String (n));
        makeFiles (root.getChildFile ("one"), n, n);
        makeFiles (root.getChildFile ("many"), n, 20);
        const auto files = makeFiles (root.getChildFile ("listed"), n, 20);

        juce::XmlElement list ("playlist");
        for (int i = files.size(); --i >= 0;)
        {
            auto* item = new juce::XmlElement ("file");
            item->setAttribute ("name", files[i].getFullPathName());
            list.prependChildElement (item);
        }
        XmlFiles::writeDocument (list, root.getChildFile ("list.xml"));

        // Each the first time, with files new to the data file, and again once they are known.
        auto processor = std::make_unique<ReplayProcessor>();
        const auto twice = [&] (const juce::String& what, const std::function<void()>& work)
        {
            for (auto pass : { ", new", ", known" })
            {
                processor->clearPlaylist();
                report ((what + pass).toRawUTF8(), n, secondsOf (work));
            }
        };
        twice ("+PATH, one folder", [&] { processor->addDirectory (root.getChildFile ("one")); });
        twice ("+PATH, 20 files a folder", [&] { processor->addDirectory (root.getChildFile ("many")); });
        twice ("LOAD of a playlist", [&] { processor->loadPlaylist (root.getChildFile ("list.xml")); });
        report ("SAVE", n, secondsOf ([&] { processor->savePlaylist (root.getChildFile ("saved.xml")); }));
        report ("CLEAR and the write at exit", n, secondsOf ([&] { processor.reset(); }));
    }

    // A data file of 100,000 entries, read at start (with none of its names known yet).
    {
        juce::XmlElement data ("data");
        for (int i = 100000; --i >= 0;)
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
    }
    juce::StringPool::getGlobalPool().garbageCollect();

    std::unique_ptr<ReplayProcessor> reading;
    report ("data.xml read at start", 100000, secondsOf ([&] { reading = std::make_unique<ReplayProcessor>(); }));
    report ("the same, written at exit", 100000, secondsOf ([&] { reading.reset(); }));

    ::dup2 (savedStderr, 2);
    ::close (savedStderr);

    return true;
}
