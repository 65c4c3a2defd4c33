// velorin_bench [rounds = 3] 2>/dev/null: figures for the engine's hot paths, in a temporary HOME
// (stderr gets a line per file a folder scan adds).
//   render: a 5-minute 44.1 kHz file through ReplayProcessor::processBlock at 48 kHz in blocks of
//           512, each block timed under the callback lock as the player takes it, against a floor
//           of a bare AudioFormatReaderSource -> ResamplingAudioSource on the same file;
//   lock:   how long a player thread waits for the callback lock while the message thread adds
//           a folder tree, removes entries and clears the playlist;
//   metadata: adding, then loading, a WAV with a 16 MB chunk of cue points or of labels.
//   midi:   learning a message into the four MIDI rows, and matching a note-on against them.

#include "TestKit.h"

#include <juce_events/juce_events.h>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

namespace
{
    using Clock = std::chrono::steady_clock;
    constexpr double fileSeconds = 300.0, fileRate = 44100.0, deviceRate = 48000.0;
    constexpr int blockSize = 512;
    constexpr double budget = blockSize / deviceRate;

    double since (Clock::time_point start)   { return std::chrono::duration<double> (Clock::now() - start).count(); }

    /** Sorted block times: median, 99th percentile and worst as % of the block budget. */
    struct Blocks
    {
        std::vector<double> times;
        double total = 0.0, first = -1.0;   // the first block opens the file: not among the steady ones

        void add (double t)   { if (first < 0.0) first = t; else times.push_back (t), total += t; }
        double at (double fraction)
        {
            std::sort (times.begin(), times.end());
            return times.empty() ? 0.0 : 100.0 * times[(size_t) std::min ((double) times.size() - 1, fraction * (double) times.size())] / budget;
        }
    };

    Blocks renderEngine (const juce::File& file)
    {
        Blocks blocks;
        ReplayProcessor processor;
        processor.setRateAndBufferSizeDetails (deviceRate, blockSize);
        processor.addFile (file);
        processor.paused = false;
        juce::AudioBuffer<float> buffer (2, blockSize);
        for (int i = 0; i < (int) std::ceil (fileSeconds * deviceRate / blockSize); ++i)
        {
            const auto start = Clock::now();
            testkit::renderBlock (processor, buffer);
            blocks.add (since (start));
        }
        return blocks;
    }

    Blocks renderFloor (const juce::File& file)
    {
        Blocks blocks;
        juce::AudioFormatManager formats;
        formats.registerBasicFormats();
        const auto start = Clock::now();
        juce::AudioFormatReaderSource source (formats.createReaderFor (file), true);
        juce::ResamplingAudioSource resampler (&source, false, 2);
        resampler.setResamplingRatio (fileRate / deviceRate);
        resampler.prepareToPlay (blockSize, deviceRate);
        juce::AudioBuffer<float> buffer (2, blockSize);
        blocks.add (since (start));   // opening the file, as the engine's first block does
        for (int i = 0; i < (int) std::ceil (fileSeconds * deviceRate / blockSize); ++i)
        {
            const auto blockStart = Clock::now();
            resampler.getNextAudioBlock (juce::AudioSourceChannelInfo (buffer));
            blocks.add (since (blockStart));
        }
        return blocks;
    }

    void renderSection (const juce::File& folder, int rounds)
    {
        const auto file = folder.getChildFile ("five-minutes.wav");
        testkit::writeAudio (file, fileRate, 2, (juce::int64) (fileSeconds * fileRate), 16, true);
        std::printf ("\n== render: %.0f s at %.0f Hz, stereo 16-bit, through processBlock at %.0f Hz in blocks of %d (budget %.3f ms) ==\n",
                     fileSeconds, fileRate, deviceRate, blockSize, budget * 1000.0);
        std::printf ("  round   median     p99   worst   first block   engine ms   floor ms  engine/floor\n");
        std::vector<double> medians, p99s, worsts, ratios;
        for (int round = 1; round <= rounds; ++round)
        {
            Blocks floor = round % 2 == 0 ? renderFloor (file) : Blocks(), engine = renderEngine (file);   // the order alternates
            if (round % 2 != 0)
                floor = renderFloor (file);
            medians.push_back (engine.at (0.5));
            p99s.push_back (engine.at (0.99));
            worsts.push_back (engine.at (1.0));
            ratios.push_back (engine.total / floor.total);
            std::printf ("  %5d  %6.3f%%  %5.3f%%  %5.2f%%  %9.3f%%  %10.1f %10.1f  %12.3f\n", round, medians.back(), p99s.back(), worsts.back(),
                         100.0 * engine.first / budget, engine.total * 1000.0, floor.total * 1000.0, ratios.back());
            std::printf ("  floor  %6.3f%%  %5.3f%%  %5.2f%%  %9.3f%%\n", floor.at (0.5), floor.at (0.99), floor.at (1.0), 100.0 * floor.first / budget);
        }
        const auto middle = [] (std::vector<double> v) { std::sort (v.begin(), v.end()); return v[v.size() / 2]; };
        std::printf ("  median of rounds: median %.3f%%, p99 %.3f%%, worst %.2f%% of the budget; engine/floor %.3f\n",
                     middle (medians), middle (p99s), middle (worsts), middle (ratios));
    }

    void lockSection (const juce::File& folder, int rounds)
    {
        constexpr int numFolders = 20, filesPerFolder = 25, numRemovals = 100;
        const auto tree = folder.getChildFile ("tree");
        for (int f = 0; f < numFolders * filesPerFolder; ++f)
            testkit::writeAudio (tree.getChildFile ("folder-" + juce::String (f / filesPerFolder) + "/take-" + juce::String (f % filesPerFolder) + ".wav"), 44100.0, 2, 22050, 16);
        std::printf ("\n== lock: a player thread renders blocks under the callback lock while the message thread works ==\n"
                     "  tree: %d WAV files (0.5 s) in %d folders; removals: %d entries from the front\n"
                     "  round   longest wait for the lock, us: idle      add   remove    clear   longest block, us     takes\n",
                     numFolders * filesPerFolder, numFolders, numRemovals);

        for (int round = 1; round <= rounds; ++round)
        {
            ReplayProcessor processor;
            processor.setRateAndBufferSizeDetails (deviceRate, blockSize);
            enum Phase { idle, adding, removing, clearing, numPhases };
            std::atomic<int> phase { idle };
            std::atomic<bool> stop { false };
            std::atomic<std::int64_t> takes { 0 }, longestWait[numPhases] {}, longestBlock { 0 };
            std::thread player ([&]
            {
                juce::AudioBuffer<float> buffer (2, blockSize);
                juce::MidiBuffer midi;
                while (! stop)
                {
                    const auto start = Clock::now();
                    const juce::ScopedLock sl (processor.getCallbackLock());
                    const auto locked = Clock::now();
                    processor.processBlock (buffer, midi);
                    const auto wait = std::chrono::duration_cast<std::chrono::microseconds> (locked - start).count();
                    const auto block = std::chrono::duration_cast<std::chrono::microseconds> (Clock::now() - locked).count();
                    auto& longest = longestWait[phase.load()];
                    longest = std::max (longest.load(), (std::int64_t) wait);
                    longestBlock = std::max (longestBlock.load(), (std::int64_t) block);
                    ++takes;
                }
            });

            const auto during = [&] (Phase p, std::function<void()> work) { phase = p; const auto start = Clock::now(); work(); phase = idle; return since (start) * 1000.0; };
            std::this_thread::sleep_for (std::chrono::milliseconds (50));
            const auto add = during (adding, [&] { processor.addDirectory (tree); });
            processor.selectTrack (0);
            processor.paused = false;
            std::this_thread::sleep_for (std::chrono::milliseconds (50));
            const auto remove = during (removing, [&] { for (int i = 0; i < numRemovals; ++i) processor.removeEntry (0); });
            const auto clear = during (clearing, [&] { processor.clearPlaylist(); });
            stop = true;
            player.join();
            std::printf ("  %5d   %35lld %8lld %8lld %8lld   %17lld  %8lld   (add %.1f ms, remove %.1f ms, clear %.1f ms)\n", round,
                         (long long) longestWait[idle].load(), (long long) longestWait[adding].load(), (long long) longestWait[removing].load(),
                         (long long) longestWait[clearing].load(), (long long) longestBlock.load(), (long long) takes.load(), add, remove, clear);
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
            const auto start = Clock::now();
            processor.addFile (file);
            const auto added = since (start);
            processor.playlist[0]->load (blockSize, (float) deviceRate);
            std::printf ("  \"%s\"  add %8.1f ms  first load %8.1f ms  peak +%.0f MB\n", id, added * 1000.0,
                         (since (start) - added) * 1000.0, residentMB ("VmHWM:") - before);
        }
    }

    void midiSection()
    {
        std::vector<juce::uint8> bytes (27 * 1024, 0x55);
        std::printf ("\n== midi: a message learned into the four rows, then 10000 note-ons matched ==\n");
        for (const auto& learned : { juce::MidiMessage::createSysExMessage (bytes.data(), (int) bytes.size()), juce::MidiMessage::noteOn (1, 60, (juce::uint8) 9) })
        {
            MidiMap map;
            int action = 0, matches = 0;
            map.learning = true;
            const auto learning = Clock::now();
            for (int row = 0; row < MidiMap::numMappings; ++row)
            {
                map.selectLearnTarget (row);
                map.handleMessage (learned, action);
            }
            const auto learnSeconds = since (learning);
            map.learning = false;
            const auto start = Clock::now();
            for (int i = 0; i < 10000; ++i)
                matches += map.handleMessage (juce::MidiMessage::noteOn (1, 60 + i % 2, (juce::uint8) 9), action) ? 1 : 0;
            std::printf ("  %5d bytes: learned in %.1f us, %.3f us a message (%d matched)\n", learned.getRawDataSize(), learnSeconds * 1.0e6, since (start) * 100.0, matches);
        }
    }
}

/** In ScaleBench.cpp. */
bool runScaleBenchmark (const juce::File& workFolder);

int main (int argc, char** argv)
{
    const int rounds = argc > 1 ? juce::jmax (1, std::atoi (argv[1])) : 3;
    const testkit::PrivateHome home;
    const juce::ScopedJuceInitialiser_GUI juce;
    const testkit::AssertionCheck assertions;
    std::printf ("Velorin benchmarks, %d rounds (temporary HOME %s)\n", rounds, home.home.getFullPathName().toRawUTF8());
    metadataSection (home.home);
    renderSection (home.home, rounds);
    lockSection (home.home, rounds);
    midiSection();
    return runScaleBenchmark (home.home) ? 0 : 1;
}
