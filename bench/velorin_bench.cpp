// velorin_bench [rounds = 3] 2>/dev/null: figures for the engine's hot paths, in a temporary HOME
// (stderr gets a line per file a folder scan adds).
//   metadata: adding, then loading, a WAV with a 16 MB chunk of cue points or of labels;
//   render: a 5-minute 44.1 kHz file through ReplayProcessor::processBlock at 48 kHz in blocks of
//           512, each block timed under the callback lock as the player takes it, against a floor
//           of a bare AudioFormatReaderSource -> ResamplingAudioSource on the same file;
//   lock:   how long a player thread waits for the callback lock while the message thread adds
//           a folder tree, plays it, removes entries and clears the playlist;
//   midi:   learning a message into the four MIDI rows, and matching a note-on against them;
//   scale:  in ScaleBench.cpp.

#include "TestKit.h"

#include <malloc.h>

#include <chrono>
#include <fstream>

double secondsOf (const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double> (std::chrono::steady_clock::now() - start).count();
}

namespace
{
    constexpr double fileSeconds = 300.0, fileRate = 44100.0, deviceRate = 48000.0;
    constexpr int blockSize = 512;
    constexpr double budget = blockSize / deviceRate;
    const int numBlocks = (int) std::ceil (fileSeconds * deviceRate / blockSize);

    /** The times of a file's blocks: the first, which opens the file, apart from the others. */
    struct Blocks
    {
        double first = 0.0;
        double total = 0.0;          // of the others
        std::vector<double> times;   // the others, sorted

        /** The time at this fraction of the sorted ones, as % of the block budget. */
        double at (double fraction) const
        {
            return 100.0 * times[std::min (times.size() - 1, (size_t) (fraction * (double) times.size()))] / budget;
        }
    };

    /** Times `block` once for each device block of the file, the first after `opening` seconds. */
    Blocks timeBlocks (double opening, const std::function<void()>& block)
    {
        Blocks blocks;
        blocks.first = opening + secondsOf (block);
        for (int i = 1; i < numBlocks; ++i)
            blocks.times.push_back (secondsOf (block));
        blocks.total = std::accumulate (blocks.times.begin(), blocks.times.end(), 0.0);
        std::sort (blocks.times.begin(), blocks.times.end());
        return blocks;
    }

    Blocks renderEngine (const juce::File& file)
    {
        ReplayProcessor processor;
        processor.setRateAndBufferSizeDetails (deviceRate, blockSize);
        processor.addFile (file);
        processor.paused = false;
        juce::AudioBuffer<float> buffer (2, blockSize);
        return timeBlocks (0.0, [&] { testkit::renderBlock (processor, buffer); });
    }

    Blocks renderFloor (const juce::File& file)
    {
        juce::AudioFormatManager formats;
        formats.registerBasicFormats();
        std::unique_ptr<juce::AudioFormatReader> reader;
        const auto opening = secondsOf ([&] { reader.reset (formats.createReaderFor (file)); });
        juce::AudioFormatReaderSource source (reader.release(), true);
        juce::ResamplingAudioSource resampler (&source, false, 2);
        resampler.setResamplingRatio (fileRate / deviceRate);
        resampler.prepareToPlay (blockSize, deviceRate);
        juce::AudioBuffer<float> buffer (2, blockSize);
        return timeBlocks (opening, [&] { resampler.getNextAudioBlock (juce::AudioSourceChannelInfo (buffer)); });
    }

    void renderSection (const juce::File& folder, int rounds)
    {
        const auto file = folder.getChildFile ("five-minutes.wav");
        testkit::writeAudio (file, fileRate, 2, (juce::int64) (fileSeconds * fileRate), 16, true);
        std::printf ("\n== render: %.0f s at %.0f Hz, stereo 16-bit, through processBlock at %.0f Hz in blocks of %d"
                     " (budget %.3f ms) ==\n",
                     fileSeconds, fileRate, deviceRate, blockSize, budget * 1000.0);
        std::printf ("  round   median     p99   worst   first block   engine ms   floor ms  engine/floor\n");
        std::vector<double> rows[4];   // of each round: median, p99, worst, engine/floor
        for (int round = 1; round <= rounds; ++round)
        {
            Blocks engine, floor;
            if (round % 2 == 0)   // the order alternates
                floor = renderFloor (file);
            engine = renderEngine (file);
            if (round % 2 != 0)
                floor = renderFloor (file);
            const double row[] = { engine.at (0.5), engine.at (0.99), engine.at (1.0), engine.total / floor.total };
            for (int i = 0; i < 4; ++i)
                rows[i].push_back (row[i]);
            std::printf ("  %5d  %6.3f%%  %5.3f%%  %5.2f%%  %9.3f%%  %10.1f %10.1f  %12.3f\n", round, row[0], row[1],
                         row[2], 100.0 * engine.first / budget, engine.total * 1000.0, floor.total * 1000.0, row[3]);
            std::printf ("  floor  %6.3f%%  %5.3f%%  %5.2f%%  %9.3f%%\n", floor.at (0.5), floor.at (0.99),
                         floor.at (1.0), 100.0 * floor.first / budget);
        }
        for (auto& figures : rows)
            std::sort (figures.begin(), figures.end());
        const auto middle = rows[0].size() / 2;
        std::printf ("  median of rounds: median %.3f%%, p99 %.3f%%, worst %.2f%% of the budget; engine/floor %.3f\n",
                     rows[0][middle], rows[1][middle], rows[2][middle], rows[3][middle]);
    }

    void lockSection (const juce::File& folder, int rounds)
    {
        constexpr int numFolders = 20, filesPerFolder = 25, numRemovals = 100;
        const auto tree = folder.getChildFile ("tree");
        for (int f = 0; f < numFolders * filesPerFolder; ++f)
        {
            const auto name = juce::String::formatted ("folder-%d/take-%d.wav", f / filesPerFolder, f % filesPerFolder);
            testkit::writeAudio (tree.getChildFile (name), 44100.0, 2, 22050, 16);
        }
        std::printf ("\n== lock: a player thread renders under the callback lock while the message thread works ==\n"
                     "  tree: %d WAV files (0.5 s) in %d folders; removals: %d entries from the front\n"
                     "  the player's longest wait for the lock in us / the time the work took in ms while the message\n"
                     "  thread adds the tree, plays it for 50 ms, removes entries and clears the playlist\n"
                     "  round            add           play         remove          clear     block    blocks\n",
                     numFolders * filesPerFolder, numFolders, numRemovals);

        for (int round = 1; round <= rounds; ++round)
        {
            ReplayProcessor processor;
            processor.setRateAndBufferSizeDetails (deviceRate, blockSize);
            const std::function<void()> phases[] = { [&] { processor.addDirectory (tree); },
                                                     [&]
                                                     {
                                                         processor.selectTrack (0);
                                                         processor.paused = false;
                                                         std::this_thread::sleep_for (std::chrono::milliseconds (50));
                                                     },
                                                     [&]
                                                     {
                                                         for (int i = 0; i < numRemovals; ++i)
                                                             processor.removeEntry (0);
                                                     },
                                                     [&] { processor.clearPlaylist(); } };
            std::atomic<int> phase { 0 };
            std::atomic<bool> stop { false };
            double longestWait[4] {};   // the player's own, read once it has ended
            double longestBlock = 0.0;
            long blocks = 0;
            std::thread player (
                [&]
                {
                    juce::AudioBuffer<float> buffer (2, blockSize);
                    juce::MidiBuffer midi;
                    auto& lock = processor.getCallbackLock();
                    while (! stop)
                    {
                        auto& longest = longestWait[phase.load()];
                        longest = std::max (longest, secondsOf ([&] { lock.enter(); }));
                        longestBlock = std::max (longestBlock,
                                                 secondsOf ([&] { processor.processBlock (buffer, midi); }));
                        lock.exit();
                        ++blocks;
                    }
                });

            double taken[4];
            for (int p = 0; p < 4; ++p)
            {
                phase = p;
                taken[p] = secondsOf (phases[p]);
            }
            stop = true;
            player.join();
            std::printf ("  %5d", round);
            for (int p = 0; p < 4; ++p)
                std::printf ("  %6.0f /%6.1f", longestWait[p] * 1.0e6, taken[p] * 1000.0);
            std::printf ("  %8.0f  %8ld\n", longestBlock * 1.0e6, blocks);
        }
    }

    /** The process's resident memory (VmRSS:) or its peak (VmHWM:), in MB. */
    double residentMB (const char* field)
    {
        const auto status = juce::File ("/proc/self/status").loadFileAsString();
        return status.fromFirstOccurrenceOf (field, false, false).getDoubleValue() / 1024.0;
    }

    void metadataSection (const juce::File& folder)
    {
        std::printf ("\n== metadata: a WAV of 0.1 s and a 16 MB chunk (peak memory above that before adding) ==\n");
        juce::MemoryOutputStream cues, labels;
        cues.writeInt (699050);   // cue points of 24 bytes
        cues.writeRepeatedByte (0, 699050 * 24);
        labels.write ("adtl", 4);
        for (int i = 0; i < (1 << 20); ++i)
            labels.write ("labl\x08\0\0\0\1\0\0\0text", 16);
        for (auto [id, content] : { std::pair ("cue ", &cues), std::pair ("LIST", &labels) })
        {
            const auto file = folder.getChildFile ("metadata.wav");
            testkit::writeAudio (file, 8000.0, 2, 800, 16);
            testkit::insertChunk (file, id, content->getMemoryBlock());
            ReplayProcessor processor;
            malloc_trim (0);   // what the last file freed leaves the process, and the peak is reset
            std::ofstream ("/proc/self/clear_refs") << "5";
            const auto before = residentMB ("VmRSS:");
            const auto add = secondsOf ([&] { processor.addFile (file); });
            const auto load = secondsOf ([&] { processor.playlist[0]->load (blockSize, (float) deviceRate); });
            std::printf ("  \"%s\"  add %8.1f ms  first load %8.1f ms  peak +%.0f MB\n", id, add * 1000.0,
                         load * 1000.0, residentMB ("VmHWM:") - before);
        }
    }

    void midiSection()
    {
        std::printf ("\n== midi: a message learned into the four rows, then 10000 note-ons matched ==\n");
        const std::vector<juce::uint8> bytes (27 * 1024, 0x55);
        const juce::MidiMessage notes[] = { juce::MidiMessage::noteOn (1, 60, 0.5f),
                                            juce::MidiMessage::noteOn (1, 61, 0.5f) };
        const auto sysex = juce::MidiMessage::createSysExMessage (bytes.data(), (int) bytes.size());
        for (const auto& learned : { sysex, notes[0] })
        {
            MidiMap map;
            int action = 0;
            int matches = 0;
            map.learning = true;
            const auto learning = secondsOf (
                [&]
                {
                    for (int row = 0; row < MidiMap::numMappings; ++row)
                    {
                        map.selectLearnTarget (row);
                        map.handleMessage (learned, action);
                    }
                });
            map.learning = false;
            const auto matching = secondsOf (
                [&]
                {
                    for (int i = 0; i < 10000; ++i)
                        matches += map.handleMessage (notes[i % 2], action) ? 1 : 0;
                });
            std::printf ("  %5d bytes: learned in %.1f us, %.3f us a message (%d matched)\n", learned.getRawDataSize(),
                         learning * 1.0e6, matching * 100.0, matches);
        }
    }
}

/** In ScaleBench.cpp. */
void scaleSection (const juce::File& folder);

int main (int argc, char** argv)
{
    const int rounds = argc > 1 ? juce::jmax (1, std::atoi (argv[1])) : 3;
    const testkit::PrivateHome home;
    const juce::ScopedJuceInitialiser_GUI juce;
    const testkit::AssertionCheck assertions;
    std::printf ("Velorin benchmarks, %d rounds (temporary HOME %s)\n", rounds,
                 home.home.getFullPathName().toRawUTF8());
    metadataSection (home.home);
    renderSection (home.home, rounds);
    lockSection (home.home, rounds);
    midiSection();
    scaleSection (home.home);
}
