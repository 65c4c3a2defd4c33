// Velorin's benchmark program: prints figures for the engine's hot paths.
//
//   velorin_bench [--rounds N] [section ...]
//
// With no section named, every section runs. The program runs in a temporary HOME of its
// own, so the processor's data files never touch the real user's; it is removed at exit.

#include "engine/ReplayProcessor.h"
#include "ui/WaveformView.h"

#include <juce_events/juce_events.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

/** In ScaleBench.cpp. */
bool runScaleBenchmark (const juce::File& workFolder);

namespace
{
    using Clock = std::chrono::steady_clock;

    double secondsSince (Clock::time_point start)
    {
        return std::chrono::duration<double> (Clock::now() - start).count();
    }

    //==============================================================================
    /** Points HOME at a new empty folder for the life of the object, then removes the
        folder and puts HOME back. Built before anything reads HOME. */
    class TemporaryHome
    {
    public:
        TemporaryHome()
        {
            if (const char* home = std::getenv ("HOME"))
                previousHome = home;

            const char* tmp = std::getenv ("TMPDIR");
            std::string pattern = std::string (tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/velorin-bench-XXXXXX";

            if (mkdtemp (pattern.data()) != nullptr)
            {
                path = pattern;
                setenv ("HOME", path.c_str(), 1);
            }
        }

        ~TemporaryHome()
        {
            if (path.empty())
                return;

            juce::File (juce::String (path)).deleteRecursively();

            if (previousHome.empty())
                unsetenv ("HOME");
            else
                setenv ("HOME", previousHome.c_str(), 1);
        }

        bool isValid() const         { return ! path.empty(); }
        juce::File getFolder() const { return juce::File (juce::String (path)); }

    private:
        std::string path, previousHome;

        JUCE_DECLARE_NON_COPYABLE (TemporaryHome)
    };

    /** What every section gets: a scratch folder inside the temporary HOME and the options. */
    struct BenchContext
    {
        juce::File workFolder;
        int rounds = 5;
    };

    //==============================================================================
    // Statistics

    double median (std::vector<double> values)
    {
        if (values.empty())
            return 0.0;

        const auto middle = values.begin() + (std::ptrdiff_t) (values.size() / 2);
        std::nth_element (values.begin(), middle, values.end());
        return *middle;
    }

    /** The nearest-rank percentile (p in 0..100). */
    double percentile (std::vector<double> values, double p)
    {
        if (values.empty())
            return 0.0;

        const auto rank = (size_t) std::ceil (p / 100.0 * (double) values.size());
        const auto nth = values.begin() + (std::ptrdiff_t) (juce::jlimit ((size_t) 1, values.size(), rank) - 1);
        std::nth_element (values.begin(), nth, values.end());
        return *nth;
    }

    double maximum (const std::vector<double>& values)
    {
        return values.empty() ? 0.0 : *std::max_element (values.begin(), values.end());
    }

    double sum (const std::vector<double>& values)
    {
        double total = 0.0;

        for (auto v : values)
            total += v;

        return total;
    }

    /** An order-sensitive hash of the samples, to check that two renders produced the same audio. */
    void hashBlock (std::uint64_t& hash, const juce::AudioBuffer<float>& buffer)
    {
        for (int channel = 0; channel < buffer.getNumChannels(); ++channel)
        {
            const float* samples = buffer.getReadPointer (channel);

            for (int i = 0; i < buffer.getNumSamples(); ++i)
            {
                std::uint32_t bits;
                std::memcpy (&bits, samples + i, sizeof (bits));
                hash = (hash ^ bits) * 0x100000001b3ull;
            }
        }
    }

    //==============================================================================
    // Test audio

    /** Writes a 16-bit stereo WAV: two sines per channel (different on each) over quiet
        noise, so every block carries real audio and a channel mix-up would show. */
    bool writeTestWav (const juce::File& file, double sampleRate, double seconds)
    {
        file.deleteFile();
        auto stream = std::make_unique<juce::FileOutputStream> (file);

        if (! stream->openedOk())
            return false;

        constexpr int numChannels = 2;
        std::unique_ptr<juce::AudioFormatWriter> writer (
            juce::WavAudioFormat().createWriterFor (stream.get(), sampleRate, numChannels, 16, {}, 0));

        if (writer == nullptr)
            return false;

        stream.release();   // the writer owns it now

        const auto totalSamples = (juce::int64) std::llround (seconds * sampleRate);
        constexpr int blockSize = 4096;
        juce::AudioBuffer<float> block (numChannels, blockSize);
        juce::Random random (0x5eed);

        const double freqs[numChannels][2] = { { 220.0, 331.0 }, { 277.0, 440.5 } };
        const double twoPi = juce::MathConstants<double>::twoPi;

        for (juce::int64 start = 0; start < totalSamples; start += blockSize)
        {
            const auto count = (int) juce::jmin ((juce::int64) blockSize, totalSamples - start);

            for (int c = 0; c < numChannels; ++c)
            {
                float* out = block.getWritePointer (c);

                for (int i = 0; i < count; ++i)
                {
                    const double t = (double) (start + i) / sampleRate;
                    const double tone = 0.35 * std::sin (twoPi * freqs[c][0] * t)
                                      + 0.25 * std::sin (twoPi * freqs[c][1] * t);
                    out[i] = (float) tone + 0.05f * (random.nextFloat() * 2.0f - 1.0f);
                }
            }

            if (! writer->writeFromAudioSampleBuffer (block, 0, count))
                return false;
        }

        return true;
    }

    //==============================================================================
    // Render benchmark: the engine's processBlock against a bare reader + resampler

    namespace render
    {
        constexpr double fileSeconds = 300.0;
        constexpr double fileRate = 44100.0;
        constexpr double deviceRate = 48000.0;
        constexpr int blockSize = 512;
        constexpr double blockBudget = blockSize / deviceRate;

        // The whole file at the device rate; the engine's end-of-file gap comes after it.
        const int numBlocks = (int) std::ceil (fileSeconds * deviceRate / blockSize);

        // The targets the figures are held to.
        constexpr double targetMedianPercent = 0.2;
        constexpr double targetLoadingPercent = 10.0;
        constexpr double targetEngineOverFloor = 1.2;

        struct EngineRun
        {
            double loading = 0.0;          // block 0, which opens the file and builds the source
            std::vector<double> steady;    // blocks 1 .. n-1
            int blocksRendered = 0;
            int loads = 0;                 // times the entry's source was (re)built
            bool movedOn = false;          // the engine left the entry before the last block
            double endOfFile = -1.0;       // past the file: the block that drops the source (-1: not seen)
            double restart = -1.0;         // and the block after it, which loads the entry again
            std::uint64_t hash = 0xcbf29ce484222325ull;

            double total() const { return loading + sum (steady); }
        };

        struct FloorRun
        {
            bool opened = false;
            double setup = 0.0;            // open the reader, build and prepare the resampler
            double blocks = 0.0;
            std::uint64_t hash = 0xcbf29ce484222325ull;

            double total() const { return setup + blocks; }
        };

        /** Renders one block the way the player's callback does, under the callback lock;
            returns its time in seconds. */
        double timeBlock (ReplayProcessor& processor, juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi)
        {
            const auto start = Clock::now();
            {
                const juce::ScopedLock sl (processor.getCallbackLock());
                processor.processBlock (buffer, midi);
            }
            return secondsSince (start);
        }

        /** Past the whole file: times the block in which the engine drops the entry's source
            at its end and the block after it, which loads the entry again. */
        void timeEndOfFile (ReplayProcessor& processor, const PlaylistEntry& entry,
                            juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi, EngineRun& run)
        {
            const auto maxBlocks = (int) std::ceil ((processor.delay + 1.0) * deviceRate / blockSize);

            for (int block = 0; block < maxBlocks; ++block)
            {
                const double elapsed = timeBlock (processor, buffer, midi);

                if (entry.source == nullptr)
                {
                    run.endOfFile = elapsed;
                    run.restart = timeBlock (processor, buffer, midi);
                    return;
                }
            }
        }

        EngineRun renderEngine (const juce::File& file)
        {
            EngineRun run;
            run.steady.reserve ((size_t) numBlocks);

            ReplayProcessor processor;
            processor.setRateAndBufferSizeDetails (deviceRate, blockSize);
            processor.addFile (file);
            processor.paused = false;

            auto* entry = processor.playlist[0];

            if (entry == nullptr)
                return run;

            juce::AudioBuffer<float> buffer (2, blockSize);
            juce::MidiBuffer midi;
            const ResampledAudioFormatReaderSource* lastSource = nullptr;

            for (int block = 0; block < numBlocks; ++block)
            {
                const double elapsed = timeBlock (processor, buffer, midi);

                if (block == 0)
                    run.loading = elapsed;
                else
                    run.steady.push_back (elapsed);

                ++run.blocksRendered;
                hashBlock (run.hash, buffer);

                // Only this thread renders, so the source can be looked at between blocks.
                const auto* source = entry->source.get();

                if (source != nullptr && source != lastSource)
                    ++run.loads;

                lastSource = source;

                if (source == nullptr || processor.getCurrentIndex() != 0)
                {
                    run.movedOn = block + 1 < numBlocks;
                    break;
                }
            }

            if (! run.movedOn)
                timeEndOfFile (processor, *entry, buffer, midi, run);

            return run;
        }

        FloorRun renderFloor (const juce::File& file)
        {
            FloorRun run;

            // The processor registers its formats when it is built, outside the loading block.
            juce::AudioFormatManager formats;
            formats.registerBasicFormats();

            const auto setupStart = Clock::now();
            std::unique_ptr<juce::AudioFormatReader> reader (formats.createReaderFor (file));

            if (reader == nullptr)
                return run;

            juce::AudioFormatReaderSource readerSource (reader.release(), true);
            juce::ResamplingAudioSource resampler (&readerSource, false, 2);
            resampler.setResamplingRatio (fileRate / deviceRate);
            resampler.prepareToPlay (blockSize, deviceRate);

            run.setup = secondsSince (setupStart);
            run.opened = true;

            juce::AudioBuffer<float> buffer (2, blockSize);
            const juce::AudioSourceChannelInfo info (&buffer, 0, blockSize);

            for (int block = 0; block < numBlocks; ++block)
            {
                const auto start = Clock::now();
                resampler.getNextAudioBlock (info);
                run.blocks += secondsSince (start);

                hashBlock (run.hash, buffer);
            }

            return run;
        }

        //==============================================================================
        double percentOfBudget (double seconds) { return 100.0 * seconds / blockBudget; }

        const char* verdict (bool met) { return met ? "ok" : "MISSED"; }

        void printHeader (const juce::File& file, int rounds)
        {
            std::printf ("\n== render: a %.0f-minute file through ReplayProcessor::processBlock ==\n", fileSeconds / 60.0);
            std::printf ("  file    : %.0f s, %.0f Hz, stereo, 16-bit WAV, %.1f MB, sines + noise\n",
                         fileSeconds, fileRate, (double) file.getSize() / 1.0e6);
            std::printf ("  device  : %.0f Hz, %d-sample blocks; budget %.3f ms per block\n",
                         deviceRate, blockSize, blockBudget * 1000.0);
            std::printf ("  blocks  : %d per run = ceil(%.0f s x %.0f / %d), the whole file at the device rate;\n"
                         "            the engine's end-of-file gap and its restart of the entry come later and\n"
                         "            are not rendered (a run stops early only if the engine leaves the entry)\n",
                         numBlocks, fileSeconds, deviceRate, blockSize);
            std::printf ("  timing  : steady_clock around each processBlock call, callback lock included;\n"
                         "            block 0 opens the file (the loading block), the rest are steady blocks;\n"
                         "            the file is in the page cache and addFile has just read it, so the\n"
                         "            loading block runs warm (the reload past the file shows a colder one)\n");
            std::printf ("  floor   : AudioFormatReaderSource -> ResamplingAudioSource (2 ch, %.0f/%.0f), same\n"
                         "            blocks; its total includes opening and preparing, as the engine's\n"
                         "            includes its loading block\n",
                         fileRate, deviceRate);
            std::printf ("  totals  : render time; RTF = render time / %.0f s of audio, (Nx) = its inverse\n",
                         fileSeconds);
            std::printf ("  rounds  : %d, engine and floor alternating (order swapped each round);\n"
                         "            the summary gives medians over rounds\n\n",
                         rounds);
        }

        void printRoundsHeader()
        {
            std::printf ("  round   median     p99   worst  loading   engine ms   floor ms  engine/floor\n");
            std::printf ("          (steady blocks, %% of budget)\n");
        }

        void printRound (int round, const EngineRun& engine, const FloorRun& floor)
        {
            std::printf ("  %5d  %6.3f%%  %5.3f%%  %5.2f%%  %6.3f%%  %10.1f %10.1f  %12.3f\n",
                         round,
                         percentOfBudget (median (engine.steady)),
                         percentOfBudget (percentile (engine.steady, 99.0)),
                         percentOfBudget (maximum (engine.steady)),
                         percentOfBudget (engine.loading),
                         engine.total() * 1000.0,
                         floor.total() * 1000.0,
                         engine.total() / floor.total());
        }

        juce::String budgetFigure (double seconds)
        {
            return juce::String::formatted ("%7.3f %% (%7.1f us)", percentOfBudget (seconds), seconds * 1e6);
        }

        juce::String totalFigure (double seconds)
        {
            return juce::String::formatted ("%7.1f ms, RTF %.5f (%.0fx)", seconds * 1000.0, seconds / fileSeconds,
                                            fileSeconds / seconds);
        }

        void printRow (const char* label, const juce::String& measured, const juce::String& target = {},
                       const char* verdictText = "")
        {
            const auto line = juce::String::formatted ("  %-32s %-34s %-9s %s", label, measured.toRawUTF8(),
                                                       target.toRawUTF8(), verdictText);
            std::printf ("%s\n", line.trimEnd().toRawUTF8());
        }

        /** The median over rounds of one figure of each round. */
        template <typename Run, typename Figure>
        double medianOf (const std::vector<Run>& runs, Figure figure)
        {
            std::vector<double> values;

            for (const auto& run : runs)
                if (const double value = figure (run); value >= 0.0)
                    values.push_back (value);

            return values.empty() ? -1.0 : median (values);
        }

        void printSummary (const std::vector<EngineRun>& engines, const std::vector<FloorRun>& floors)
        {
            const double medianBlock = medianOf (engines, [] (const EngineRun& r) { return median (r.steady); });
            const double p99Block = medianOf (engines, [] (const EngineRun& r) { return percentile (r.steady, 99.0); });
            const double worstBlock = medianOf (engines, [] (const EngineRun& r) { return maximum (r.steady); });
            const double loading = medianOf (engines, [] (const EngineRun& r) { return r.loading; });
            const double endOfFile = medianOf (engines, [] (const EngineRun& r) { return r.endOfFile; });
            const double restart = medianOf (engines, [] (const EngineRun& r) { return r.restart; });
            const double engineTotal = medianOf (engines, [] (const EngineRun& r) { return r.total(); });
            const double floorSetup = medianOf (floors, [] (const FloorRun& r) { return r.setup; });
            const double floorTotal = medianOf (floors, [] (const FloorRun& r) { return r.total(); });

            std::vector<double> ratios;
            bool sameAudio = true, wholeFile = true;

            for (size_t i = 0; i < engines.size(); ++i)
            {
                ratios.push_back (engines[i].total() / floors[i].total());
                sameAudio = sameAudio && engines[i].hash == floors[i].hash;
                wholeFile = wholeFile && engines[i].blocksRendered == numBlocks && engines[i].loads == 1;
            }

            const double ratio = median (ratios);
            const auto percentTarget = [] (double p) { return juce::String::formatted ("< %g %%", p); };

            std::printf ("\n");
            printRow ("summary (median of rounds)", "measured", "target");
            printRow ("median steady block", budgetFigure (medianBlock), percentTarget (targetMedianPercent),
                      verdict (percentOfBudget (medianBlock) < targetMedianPercent));
            printRow ("99th-percentile steady block", budgetFigure (p99Block));
            printRow ("worst steady block", budgetFigure (worstBlock));
            printRow ("loading block", budgetFigure (loading), percentTarget (targetLoadingPercent),
                      verdict (percentOfBudget (loading) < targetLoadingPercent));
            printRow ("floor open + prepare", budgetFigure (floorSetup));
            printRow ("engine render total", totalFigure (engineTotal));
            printRow ("floor render total", totalFigure (floorTotal));
            printRow ("engine / floor", juce::String::formatted ("%7.3f (of medians %.3f)", ratio, engineTotal / floorTotal),
                      juce::String::formatted ("< %gx", targetEngineOverFloor), verdict (ratio < targetEngineOverFloor));
            printRow ("engine output = floor output", sameAudio ? "yes, bit-identical" : "NO");
            printRow ("whole file, one load per run", wholeFile ? "yes" : "NO");

            std::printf ("\n  past the file (not in the totals):\n");
            printRow ("end-of-file block (unloads)", endOfFile >= 0.0 ? budgetFigure (endOfFile) : "not reached");
            printRow ("next block (loads it again)", restart >= 0.0 ? budgetFigure (restart) : "not reached");
        }
    }

    /** Returns false when the benchmark couldn't be set up or the engine didn't play the file through. */
    bool runRenderBenchmark (const BenchContext& context)
    {
        using namespace render;

        const auto file = context.workFolder.getChildFile ("render-5min.wav");

        if (! writeTestWav (file, fileRate, fileSeconds))
        {
            std::printf ("render: could not write %s\n", file.getFullPathName().toRawUTF8());
            return false;
        }

        printHeader (file, context.rounds);
        printRoundsHeader();

        std::vector<EngineRun> engines;
        std::vector<FloorRun> floors;

        for (int round = 1; round <= context.rounds; ++round)
        {
            // Swapping the order each round keeps either side from always running on a
            // cache or a clock left in a particular state by the other.
            if (round % 2 == 1)
            {
                engines.push_back (renderEngine (file));
                floors.push_back (renderFloor (file));
            }
            else
            {
                floors.push_back (renderFloor (file));
                engines.push_back (renderEngine (file));
            }

            const auto& engine = engines.back();

            if (engine.blocksRendered == 0 || ! floors.back().opened)
            {
                std::printf ("render: the %s did not open the file\n", engine.blocksRendered == 0 ? "processor" : "floor");
                return false;
            }

            printRound (round, engine, floors.back());

            if (engine.movedOn)
                std::printf ("         the engine left the entry after %d of %d blocks\n",
                             engine.blocksRendered, numBlocks);
        }

        printSummary (engines, floors);
        file.deleteFile();
        return true;
    }

    //==============================================================================
    // Scan benchmark: the playlist operations on a 1,000-file folder tree, and how long
    // they keep the callback lock from the audio thread

    namespace scan
    {
        constexpr int numTopFolders = 10;
        constexpr int subfoldersEach = 5;
        constexpr int filesPerFolder = 20;
        constexpr int numFolders = numTopFolders * subfoldersEach;   // the ones holding files
        constexpr int numFiles = numFolders * filesPerFolder;
        constexpr int numScanned = 1 + numTopFolders + numFolders;    // every folder addDirectory lists
        constexpr double fileSeconds = 0.2;
        constexpr double fileRate = 44100.0;

        constexpr double deviceRate = 48000.0;
        constexpr int blockSize = 512;
        constexpr double blockPeriod = blockSize / deviceRate;

        constexpr int numRemovals = 500;
        constexpr int removeCurrentEvery = 10;   // every 10th removal is the entry being played
        constexpr double idleSeconds = 0.3;
        constexpr double playingFileSeconds = 30.0;

        // How long the player thread waits between letting go of the lock and asking again.
        constexpr double probePauseSeconds = 2.0e-6;

        // The targets the figures are held to.
        constexpr double targetTreeSeconds = 3.0;
        constexpr double targetHoldSeconds = 1.0e-3;

        /** Folder f (1-based) of the top level, subfolder s (1-based) inside it. */
        juce::File leafFolder (const juce::File& root, int f, int s)
        {
            return root.getChildFile (juce::String::formatted ("folder-%02d", f))
                       .getChildFile (juce::String::formatted ("sub-%d", s));
        }

        bool writeTree (const juce::File& root)
        {
            root.deleteRecursively();

            for (int f = 1; f <= numTopFolders; ++f)
            {
                for (int s = 1; s <= subfoldersEach; ++s)
                {
                    const auto folder = leafFolder (root, f, s);

                    if (! folder.createDirectory())
                        return false;

                    for (int t = 1; t <= filesPerFolder; ++t)
                        if (! writeTestWav (folder.getChildFile (juce::String::formatted ("track-%02d.wav", t)),
                                            fileRate, fileSeconds))
                            return false;
                }
            }

            return true;
        }

        /** Entries whose file opened with the length it was written with. */
        int countPlayableEntries (const ReplayProcessor& processor)
        {
            int count = 0;

            for (const auto* entry : processor.playlist)
                if (std::abs (entry->lengthSeconds - (float) fileSeconds) < 1.0e-3f)
                    ++count;

            return count;
        }

        /** Sends stderr to /dev/null for the life of the object: addDirectory reports every
            folder and file it adds there, a thousand lines a round. */
        class QuietStderr
        {
        public:
            QuietStderr()
            {
                std::fflush (stderr);
                saved = dup (STDERR_FILENO);
                const int devNull = open ("/dev/null", O_WRONLY);

                if (saved >= 0 && devNull >= 0)
                    dup2 (devNull, STDERR_FILENO);

                if (devNull >= 0)
                    close (devNull);
            }

            ~QuietStderr()
            {
                std::fflush (stderr);

                if (saved >= 0)
                {
                    dup2 (saved, STDERR_FILENO);
                    close (saved);
                }
            }

        private:
            int saved = -1;

            JUCE_DECLARE_NON_COPYABLE (QuietStderr)
        };

        //==============================================================================
        // Speed: the operations on their own, nothing playing

        /** The CPU time of the whole process so far, every thread's user and system time. */
        double processCpuSeconds()
        {
            rusage usage {};
            getrusage (RUSAGE_SELF, &usage);

            const auto toSeconds = [] (const timeval& t) { return (double) t.tv_sec + (double) t.tv_usec * 1.0e-6; };
            return toSeconds (usage.ru_utime) + toSeconds (usage.ru_stime);
        }

        struct SpeedRound
        {
            double add = 0.0;
            double addCpu = 0.0;          // CPU time of all threads during addDirectory
            double clear = 0.0;
            int entries = 0;
            int playable = 0;
        };

        SpeedRound timeAddAndClear (ReplayProcessor& processor, const juce::File& root)
        {
            SpeedRound round;

            const double cpuStart = processCpuSeconds();
            auto start = Clock::now();
            processor.addDirectory (root);
            round.add = secondsSince (start);
            round.addCpu = processCpuSeconds() - cpuStart;

            round.entries = processor.playlist.size();
            round.playable = countPlayableEntries (processor);

            start = Clock::now();
            processor.clearPlaylist();
            round.clear = secondsSince (start);

            return round;
        }

        //==============================================================================
        // Lock: a player thread watches the callback lock while the operations run

        enum Phase { idle, adding, clearing, removing, between, numPhases };

        const char* const phaseNames[numPhases] = { "idle", "add", "clear", "remove", "between" };

        struct PhaseStats
        {
            std::int64_t acquisitions = 0;
            double longestWait = 0.0;     // from asking for the lock to holding it
            double longestGap = 0.0;      // from letting go to asking again: what the thread can't see
            std::int64_t blocks = 0;
            double longestBlock = 0.0;    // processBlock, under the lock
        };

        /** Acts as the audio thread: takes the callback lock over and over, timing how long
            each take waits, and lets go at once, except once per device block, when it
            renders the block under the lock as the player does. A wait is a lower bound on
            how long something else held the lock. Figures are kept per phase; read them
            after stop(). */
        class PlayerThread
        {
        public:
            explicit PlayerThread (ReplayProcessor& p) : processor (p), thread ([this] { run(); }) {}
            ~PlayerThread() { stop(); }

            void stop()
            {
                if (thread.joinable())
                {
                    quit = true;
                    thread.join();
                }
            }

            void setPhase (Phase p) { phase = p; }

            /** Waits until the thread has rendered `count` more blocks; false after 2 s without. */
            bool waitForBlocks (int count) const
            {
                const auto target = blocksRendered.load() + count;
                const auto start = Clock::now();

                while (blocksRendered.load() < target)
                {
                    if (secondsSince (start) > 2.0)
                        return false;

                    std::this_thread::sleep_for (std::chrono::microseconds (200));
                }

                return true;
            }

            const PhaseStats& getStats (Phase p) const { return stats[p]; }

        private:
            void run()
            {
                juce::AudioBuffer<float> buffer (2, blockSize);
                juce::MidiBuffer midi;

                const auto period = std::chrono::duration_cast<Clock::duration> (std::chrono::duration<double> (blockPeriod));
                const auto pause = std::chrono::duration_cast<Clock::duration> (std::chrono::duration<double> (probePauseSeconds));
                auto nextBlock = Clock::now();
                Clock::time_point released;
                bool first = true;

                while (! quit)
                {
                    auto& s = stats[phase.load()];
                    const auto asked = Clock::now();
                    const bool render = asked >= nextBlock;

                    if (! first)
                        s.longestGap = std::max (s.longestGap, seconds (asked - released));

                    {
                        const juce::ScopedLock sl (processor.getCallbackLock());
                        const auto held = Clock::now();
                        s.longestWait = std::max (s.longestWait, seconds (held - asked));
                        ++s.acquisitions;

                        if (render)
                        {
                            processor.processBlock (buffer, midi);
                            s.longestBlock = std::max (s.longestBlock, seconds (Clock::now() - held));
                            ++s.blocks;
                        }
                    }

                    released = Clock::now();
                    first = false;

                    if (render)
                    {
                        ++blocksRendered;
                        // A late block is followed at once by the next, as a device catches up.
                        nextBlock = std::max (nextBlock + period, released);
                    }

                    while (Clock::now() - released < pause)
                        std::this_thread::yield();
                }
            }

            static double seconds (Clock::duration d) { return std::chrono::duration<double> (d).count(); }

            ReplayProcessor& processor;
            PhaseStats stats[numPhases];
            std::atomic<int> phase { between };
            std::atomic<std::int64_t> blocksRendered { 0 };
            std::atomic<bool> quit { false };
            std::thread thread;   // last, so it starts after everything it uses
        };

        struct LockRound
        {
            PhaseStats stats[numPhases];
            double phaseSeconds[numPhases] = {};
            double longestRemoveCall = 0.0;   // one removeEntry call; bounds its hold from above
            int entriesAdded = 0;             // by addDirectory, while the other file played
            int entriesCleared = 0;
            int entriesLeft = -1;             // after the removals
            int currentRemoved = 0;
            bool played = true;               // the thread rendered whenever it was waited for
        };

        /** Times one operation as a phase of the player thread. */
        template <typename Operation>
        void runPhase (PlayerThread& player, LockRound& round, Phase phase, Operation operation)
        {
            player.setPhase (phase);
            const auto start = Clock::now();
            operation();
            round.phaseSeconds[phase] += secondsSince (start);
            player.setPhase (between);
        }

        /** One round, with the player thread running throughout: a file plays alone (idle),
            the tree is added while it plays (add), the 1,000 entries are cleared while one
            of them plays (clear), and the tree is added again and 500 entries are removed
            one by one, every tenth the one being played (remove). */
        LockRound measureLocks (ReplayProcessor& processor, const juce::File& root, const juce::File& playingFile)
        {
            LockRound round;
            PlayerThread player (processor);

            const auto waitForPlay = [&] { round.played = player.waitForBlocks (2) && round.played; };

            processor.addFile (playingFile);
            processor.selectTrack (0);
            processor.paused = false;
            waitForPlay();

            runPhase (player, round, idle, [&] { std::this_thread::sleep_for (std::chrono::duration<double> (idleSeconds)); });

            runPhase (player, round, adding, [&] { processor.addDirectory (root); });
            round.entriesAdded = processor.playlist.size() - 1;

            // The file that played is removed; an entry of the tree plays while they are cleared.
            processor.removeEntry (0);
            processor.selectTrack (numFiles / 2);
            processor.paused = false;
            waitForPlay();

            round.entriesCleared = processor.playlist.size();
            runPhase (player, round, clearing, [&] { processor.clearPlaylist(); });

            processor.addDirectory (root);
            processor.selectTrack (numFiles / 2);
            processor.paused = false;
            waitForPlay();

            runPhase (player, round, removing, [&]
            {
                for (int r = 0; r < numRemovals; ++r)
                {
                    int index;

                    if (r % removeCurrentEvery == 0)
                    {
                        waitForPlay();   // so that the entry removed has its source loaded and playing
                        index = processor.getCurrentIndex();
                        ++round.currentRemoved;
                    }
                    else
                    {
                        // Alternately below the current entry (its index moves down) and above it.
                        index = r % 2 == 1 ? 0 : processor.playlist.size() - 1;
                    }

                    const auto start = Clock::now();
                    processor.removeEntry (index);
                    round.longestRemoveCall = std::max (round.longestRemoveCall, secondsSince (start));
                }
            });

            round.entriesLeft = processor.playlist.size();
            processor.clearPlaylist();
            player.stop();

            for (int p = 0; p < numPhases; ++p)
                round.stats[p] = player.getStats ((Phase) p);

            return round;
        }

        //==============================================================================
        const char* verdict (bool met) { return met ? "ok" : "MISSED"; }

        double micros (double seconds) { return seconds * 1.0e6; }

        void printHeader (const juce::File& root, double writeSeconds, int rounds)
        {
            std::printf ("\n== scan: a %d-file folder tree through ReplayProcessor's playlist operations ==\n", numFiles);
            std::printf ("  tree    : %d WAV files (%.1f s, %.0f Hz, stereo, 16-bit, %.1f KB each), %d in each of\n"
                         "            %d folders (%d folders x %d subfolders) under one root, %d folders listed\n"
                         "            in all; written in %.2f s, not timed\n",
                         numFiles, fileSeconds, fileRate,
                         (double) leafFolder (root, 1, 1).getChildFile ("track-01.wav").getSize() / 1000.0,
                         filesPerFolder, numFolders, numTopFolders, subfoldersEach, numScanned, writeSeconds);
            std::printf ("  speed   : addDirectory (root) and clearPlaylist, steady_clock around each call, nothing\n"
                         "            playing; %d rounds. Round 1 is the engine's first pass over the tree: the\n"
                         "            files were just written, so they are in the page cache (a cold cache would\n"
                         "            need root to drop it), but the data root has no elements for them yet.\n"
                         "            CPU time is the whole process's, every thread, during the call\n",
                         rounds);
            std::printf ("  lock    : a player thread takes the callback lock over and over (a ScopedLock, let go\n"
                         "            at once, then %.0f us of yielding before asking again), timing each wait;\n"
                         "            every %.2f ms it renders a %d-sample block under the lock instead, like the\n"
                         "            player at %.0f Hz. A wait is a lower bound on a hold by another thread.\n"
                         "            'gap' is the longest time from letting go to asking again: a hold can hide\n"
                         "            in a gap, and one longer than a gap shows as a wait of at least the hold\n"
                         "            less the gap, so no hold outlasts the longest wait plus the longest gap of\n"
                         "            its phase. Per round:\n"
                         "              idle    a %.0f s file plays, nothing else happens for %.1f s\n"
                         "              add     addDirectory (root) while that file plays\n"
                         "              clear   clearPlaylist of the %d entries while one of them plays\n"
                         "              remove  %d removeEntry calls after adding the tree again, one at a time,\n"
                         "                      every %dth the entry playing (after 2 blocks, so its source is\n"
                         "                      loaded), the others alternately below and above it\n",
                         micros (probePauseSeconds), blockPeriod * 1000.0, blockSize, deviceRate,
                         playingFileSeconds, idleSeconds, numFiles, numRemovals, removeCurrentEvery);
            std::printf ("  stderr  : the engine's \"Added ...\" lines go to /dev/null while this section runs\n\n");
        }

        void printRow (const char* label, const juce::String& measured, const juce::String& target = {},
                       const char* verdictText = "")
        {
            const auto line = juce::String::formatted ("  %-34s %-44s %-10s %s", label, measured.toRawUTF8(),
                                                       target.toRawUTF8(), verdictText);
            std::printf ("%s\n", line.trimEnd().toRawUTF8());
        }

        juce::String waitFigure (const std::vector<LockRound>& rounds, Phase phase)
        {
            double longest = 0.0, seconds = 0.0;
            std::int64_t samples = 0;

            for (const auto& round : rounds)
            {
                longest = std::max (longest, round.stats[phase].longestWait);
                samples += round.stats[phase].acquisitions;
                seconds += round.phaseSeconds[phase];
            }

            return juce::String::formatted ("%8.1f us  (%lld takes, 1 per %.1f us)", micros (longest),
                                            (long long) samples, samples > 0 ? micros (seconds / (double) samples) : 0.0);
        }

        template <typename Figure>
        double worstOf (const std::vector<LockRound>& rounds, Figure figure)
        {
            double worst = 0.0;

            for (const auto& round : rounds)
                worst = std::max (worst, figure (round));

            return worst;
        }
    }

    /** Returns false when the benchmark couldn't be set up or the playlist didn't come out as built. */
    bool runScanBenchmark (const BenchContext& context)
    {
        using namespace scan;

        const auto root = context.workFolder.getChildFile ("scan-tree");
        const auto playingFile = context.workFolder.getChildFile ("scan-playing.wav");

        const auto writeStart = Clock::now();

        if (! writeTree (root) || ! writeTestWav (playingFile, fileRate, playingFileSeconds))
        {
            std::printf ("scan: could not write the tree in %s\n", root.getFullPathName().toRawUTF8());
            return false;
        }

        printHeader (root, secondsSince (writeStart), context.rounds);

        const QuietStderr quiet;
        bool allBuilt = true;

        // Speed
        std::vector<SpeedRound> speeds;

        {
            ReplayProcessor processor;

            std::printf ("  round   addDirectory   (CPU time)   entries   clearPlaylist\n");

            for (int r = 1; r <= context.rounds; ++r)
            {
                speeds.push_back (timeAddAndClear (processor, root));
                const auto& s = speeds.back();
                std::printf ("  %5d  %10.1f ms  (%6.1f ms)  %8d  %11.2f ms\n", r, s.add * 1000.0, s.addCpu * 1000.0,
                             s.entries, s.clear * 1000.0);
                allBuilt = allBuilt && s.entries == numFiles && s.playable == numFiles;
            }
        }

        // Lock
        std::vector<LockRound> locks;

        {
            ReplayProcessor processor;
            processor.setRateAndBufferSizeDetails (deviceRate, blockSize);

            std::printf ("\n  longest wait for the lock, us                    longest processBlock, us\n");
            std::printf ("  round     idle      add    clear   remove     gap     idle    add  clear  remove\n");

            for (int r = 1; r <= context.rounds; ++r)
            {
                locks.push_back (measureLocks (processor, root, playingFile));
                const auto& l = locks.back();
                double gap = 0.0;

                for (int p = 0; p < numPhases; ++p)
                    if (p != between)
                        gap = std::max (gap, l.stats[p].longestGap);

                std::printf ("  %5d  %7.1f  %7.1f  %7.1f  %7.1f  %6.1f  %7.1f %6.1f %6.1f %7.1f\n", r,
                             micros (l.stats[idle].longestWait), micros (l.stats[adding].longestWait),
                             micros (l.stats[clearing].longestWait), micros (l.stats[removing].longestWait), micros (gap),
                             micros (l.stats[idle].longestBlock), micros (l.stats[adding].longestBlock),
                             micros (l.stats[clearing].longestBlock), micros (l.stats[removing].longestBlock));

                const bool built = l.entriesAdded == numFiles && l.entriesCleared == numFiles
                                && l.entriesLeft == numFiles - numRemovals;
                allBuilt = allBuilt && built;

                if (! built)
                    std::printf ("         entries: %d added, %d cleared, %d left after the removals (expected %d, %d, %d)\n",
                                 l.entriesAdded, l.entriesCleared, l.entriesLeft, numFiles, numFiles, numFiles - numRemovals);

                if (! l.played)
                    std::printf ("         the player thread did not render when waited for\n");
            }
        }

        // Summary
        std::vector<double> adds, addCpus, clears;

        for (const auto& s : speeds)
        {
            adds.push_back (s.add);
            addCpus.push_back (s.addCpu);
            clears.push_back (s.clear);
        }

        const double firstAdd = adds.front();
        const double medianAdd = median (adds);
        const double worstAdd = maximum (adds);
        const auto holdTarget = juce::String::formatted ("< %.0f us", micros (targetHoldSeconds));
        const auto treeTarget = juce::String::formatted ("< %.0f s", targetTreeSeconds);

        const auto entriesFigure = [&]
        {
            juce::StringArray counts;

            for (const auto& s : speeds)
                counts.add (juce::String (s.entries) + (s.playable == s.entries ? "" : " (" + juce::String (s.playable) + " playable)"));

            return counts.joinIntoString (", ");
        };

        std::printf ("\n");
        printRow ("summary", "measured", "target");
        printRow ("addDirectory, round 1", juce::String::formatted ("%8.1f ms", firstAdd * 1000.0), treeTarget,
                  verdict (firstAdd < targetTreeSeconds));
        printRow ("addDirectory, median of rounds", juce::String::formatted ("%8.1f ms (worst %.1f ms)", medianAdd * 1000.0, worstAdd * 1000.0),
                  treeTarget, verdict (medianAdd < targetTreeSeconds && worstAdd < targetTreeSeconds));
        printRow ("  CPU time, median of rounds", juce::String::formatted ("%8.1f ms (all threads)", median (addCpus) * 1000.0));
        const double offCpu = median (adds) - median (addCpus);
        printRow ("  not on a CPU (wall - CPU)", juce::String::formatted ("%8.1f ms (%.2f ms per folder listed)",
                                                                         offCpu * 1000.0, offCpu * 1000.0 / numScanned));
        printRow ("entries added per round", entriesFigure(), juce::String (numFiles),
                  verdict (allBuilt));
        printRow ("clearPlaylist, median of rounds", juce::String::formatted ("%8.2f ms", median (clears) * 1000.0));

        const auto lockRow = [&] (const char* label, Phase phase, bool hasTarget)
        {
            const double longest = worstOf (locks, [phase] (const LockRound& l) { return l.stats[phase].longestWait; });

            if (hasTarget)
                printRow (label, waitFigure (locks, phase), holdTarget, verdict (longest < targetHoldSeconds));
            else
                printRow (label, waitFigure (locks, phase));
        };

        std::printf ("\n  the lock (worst of %d rounds; takes summed over them):\n", (int) locks.size());
        lockRow ("longest wait, idle (reference)", idle, false);
        lockRow ("longest wait, add", adding, true);
        lockRow ("longest wait, clear", clearing, true);
        lockRow ("longest wait, remove", removing, true);

        const auto boundRow = [&] (const char* label, Phase phase)
        {
            const double gap = worstOf (locks, [phase] (const LockRound& l) { return l.stats[phase].longestGap; });
            const double bound = worstOf (locks, [phase] (const LockRound& l)
            {
                return l.stats[phase].longestWait + l.stats[phase].longestGap;
            });

            printRow (label, juce::String::formatted ("%8.1f us  (longest gap %.1f us)", micros (bound), micros (gap)));
        };

        boundRow ("longest hold at most, idle", idle);
        boundRow ("longest hold at most, add", adding);
        boundRow ("longest hold at most, clear", clearing);
        boundRow ("longest hold at most, remove", removing);
        printRow ("longest removeEntry call", juce::String::formatted ("%8.1f us (the whole call: bounds its hold)",
                                                                    micros (worstOf (locks, [] (const LockRound& l) { return l.longestRemoveCall; }))));

        const auto blockRow = [&] (const char* label, Phase phase)
        {
            const double longest = worstOf (locks, [phase] (const LockRound& l) { return l.stats[phase].longestBlock; });
            std::int64_t n = 0;

            for (const auto& l : locks)
                n += l.stats[phase].blocks;

            printRow (label, juce::String::formatted ("%8.1f us (%lld blocks; budget %.0f us)", micros (longest),
                                                      (long long) n, micros (blockPeriod)));
        };

        blockRow ("longest processBlock, idle", idle);
        blockRow ("longest processBlock, add", adding);
        blockRow ("longest processBlock, clear", clearing);
        blockRow ("longest processBlock, remove", removing);

        std::vector<double> addsWhilePlaying;

        for (const auto& l : locks)
            addsWhilePlaying.push_back (l.phaseSeconds[adding]);

        printRow ("addDirectory while playing", juce::String::formatted ("%8.1f ms (median of rounds)",
                                                                      median (addsWhilePlaying) * 1000.0));

        int currentRemoved = 0;

        for (const auto& l : locks)
            currentRemoved += l.currentRemoved;

        printRow ("removals of the entry playing", juce::String::formatted ("%8d (of %d)", currentRemoved,
                                                                          (int) locks.size() * numRemovals));

        root.deleteRecursively();
        playingFile.deleteFile();
        return allBuilt;
    }

    //==============================================================================
    // Waveform benchmark: WaveformView's thumbnail of a 5-minute file, and painting it

    namespace waveform
    {
        constexpr double fileSeconds = 300.0;
        constexpr double fileRate = 44100.0;
        constexpr int viewWidth = 784, viewHeight = 160;
        constexpr int numPaints = 200;
        constexpr double pollSeconds = 0.5e-3;
        constexpr double timeoutSeconds = 10.0;
        constexpr double stepSeconds = 0.025;   // how far the view's 25 ms timer moves it while playing

        // The targets the figures are held to.
        constexpr double targetThumbnailSeconds = 0.5;
        constexpr double targetPaintSeconds = 5.0e-3;

        struct PaintCase
        {
            const char* label;
            double zoom;     // for setZoomFactor
            bool moving;     // the range moves by stepSeconds before each paint
        };

        const PaintCase paintCases[] = {
            { "whole file",           0.0,  false }, { "whole file, moving", 0.0,  true },
            { "zoom 0.9 (30 s)",      0.9,  false }, { "zoom 0.9, moving",   0.9,  true },
            { "zoom 0.99 (3 s, max)", 0.99, false }, { "zoom 0.99, moving",  0.99, true },   // the wheel's limit
        };

        constexpr int numCases = juce::numElementsInArray (paintCases);

        struct Load
        {
            double call = 0.0;        // setSource itself
            double complete = -1.0;   // setSource until isFullyLoaded (-1: not within the timeout)
            double cpu = 0.0;         // CPU time of the process meanwhile, every thread
            bool fromCache = false;   // fully loaded as setSource returned
        };

        /** Shows the entry and polls until the thumbnail is complete. */
        Load timeLoad (WaveformView& view, PlaylistEntry* entry)
        {
            Load load;
            const double cpuStart = scan::processCpuSeconds();
            const auto start = Clock::now();
            view.setSource (entry);
            load.call = secondsSince (start);
            load.fromCache = view.thumbnail.isFullyLoaded();

            while (! view.thumbnail.isFullyLoaded() && secondsSince (start) < timeoutSeconds)
                std::this_thread::sleep_for (std::chrono::duration<double> (pollSeconds));

            if (view.thumbnail.isFullyLoaded())
                load.complete = secondsSince (start);

            load.cpu = scan::processCpuSeconds() - cpuStart;
            return load;
        }

        /** Paints the view numPaints times into an image, adding the times to `paints`.
            Returns whether the last image shows the waveform's colour. */
        bool timePaints (WaveformView& view, const PaintCase& paintCase, std::vector<double>& paints)
        {
            view.setRange ({ 0.0, view.thumbnail.getTotalLength() });
            view.setZoomFactor (paintCase.zoom);
            juce::Image image (juce::Image::ARGB, viewWidth, viewHeight, true);

            for (int i = 0; i < numPaints; ++i)
            {
                if (paintCase.moving)
                    view.setRange (view.visibleRange + stepSeconds);

                const auto start = Clock::now();
                {
                    juce::Graphics g (image);
                    view.paintEntireComponent (g, false);
                }
                paints.push_back (secondsSince (start));
            }

            for (int y = 0; y < viewHeight; ++y)
                for (int x = 0; x < viewWidth; ++x)
                    if (image.getPixelAt (x, y) == juce::Colour (0xffadd8e6))
                        return true;

            return false;
        }

        juce::String millis (double seconds) { return juce::String::formatted ("%7.3f ms", seconds * 1000.0); }
    }

    /** Returns false when the benchmark couldn't be set up, a thumbnail didn't complete or
        a paint drew no waveform. */
    bool runWaveformBenchmark (const BenchContext& context)
    {
        using namespace waveform;
        using render::printRow, render::verdict;

        const auto file = context.workFolder.getChildFile ("waveform-5min.wav");
        ReplayProcessor processor;

        if (writeTestWav (file, fileRate, fileSeconds))
            processor.addFile (file);

        auto* entry = processor.playlist[0];

        if (entry == nullptr)
        {
            std::printf ("waveform: could not write and add %s\n", file.getFullPathName().toRawUTF8());
            return false;
        }

        std::printf ("\n== waveform: WaveformView's thumbnail of a %.0f-minute file, and its paint ==\n", fileSeconds / 60.0);
        std::printf ("  file    : %.0f s, %.0f Hz, stereo, 16-bit WAV, %.1f MB, in the page cache\n"
                     "  load    : setSource until thumbnail.isFullyLoaded(), polled every %.1f ms, on a fresh\n"
                     "            %dx%d view each round (cold), then again on the same view (warm, from its\n"
                     "            cache); the cache's thread computes it, no message loop runs\n"
                     "  paint   : paintEntireComponent into a %dx%d ARGB image, %d times per case and round;\n"
                     "            'moving' shifts the range %.0f ms before each paint, as the view's timer does\n"
                     "            in play; a still range reuses its first paint's columns ('worst' has that one)\n"
                     "  rounds  : %d; the targets hold the medians\n\n",
                     fileSeconds, fileRate, (double) file.getSize() / 1.0e6, pollSeconds * 1000.0,
                     viewWidth, viewHeight, viewWidth, viewHeight, numPaints, stepSeconds * 1000.0, context.rounds);

        juce::AudioFormatManager formats;
        formats.registerBasicFormats();

        std::vector<Load> colds, warms;
        std::vector<double> paints[numCases];
        bool allDrawn = true;

        std::printf ("  round   cold ms  (setSource, CPU ms)   warm ms  from cache\n");

        for (int round = 1; round <= context.rounds; ++round)
        {
            WaveformView view (formats, processor);
            view.setSize (viewWidth, viewHeight);

            colds.push_back (timeLoad (view, entry));

            if (colds.back().complete < 0.0)
            {
                std::printf ("waveform: the thumbnail was not complete after %.0f s\n", timeoutSeconds);
                return false;
            }

            for (int c = 0; c < numCases; ++c)
                if (! timePaints (view, paintCases[c], paints[c]))
                {
                    std::printf ("         %s: no waveform in the painted image\n", paintCases[c].label);
                    allDrawn = false;
                }

            // The cache stores the thumbnail just after its last block; the paints gave it time to.
            view.setSource (nullptr);
            warms.push_back (timeLoad (view, entry));
            view.setSource (nullptr);

            std::printf ("  %5d  %8.1f  (%8.2f, %6.1f)  %8.3f  %s\n", round, colds.back().complete * 1000.0,
                         colds.back().call * 1000.0, colds.back().cpu * 1000.0, warms.back().complete * 1000.0,
                         warms.back().fromCache ? "yes" : "NO");
        }

        const auto fromCache = std::count_if (warms.begin(), warms.end(), [] (const Load& l) { return l.fromCache; });
        const double cold = render::medianOf (colds, [] (const Load& l) { return l.complete; });

        std::printf ("\n");
        printRow ("summary", "measured", "target");
        printRow ("thumbnail, cold (fresh view)", millis (cold) + " median",
                  juce::String::formatted ("< %.0f ms", targetThumbnailSeconds * 1000.0), verdict (cold < targetThumbnailSeconds));
        printRow ("  setSource call", millis (render::medianOf (colds, [] (const Load& l) { return l.call; })) + " median");
        printRow ("  CPU time, all threads", millis (render::medianOf (colds, [] (const Load& l) { return l.cpu; })) + " median");
        printRow ("thumbnail, warm (cached)", millis (render::medianOf (warms, [] (const Load& l) { return l.complete; }))
                                              + juce::String::formatted (" median, %d/%d cached", (int) fromCache, (int) warms.size()));

        for (int c = 0; c < numCases; ++c)
        {
            const double m = median (paints[c]);
            printRow ((juce::String ("paint, ") + paintCases[c].label).toRawUTF8(),
                      millis (m) + " median," + millis (maximum (paints[c])) + " worst",
                      juce::String::formatted ("< %.0f ms", targetPaintSeconds * 1000.0), verdict (m < targetPaintSeconds));
        }

        file.deleteFile();
        return allDrawn;
    }

    //==============================================================================
    // Sections and command line

    struct Section
    {
        const char* name;
        const char* summary;
        bool (*run) (const BenchContext&);
    };

    const Section sections[] = {
        { "render",   "a 5-minute file through ReplayProcessor::processBlock vs. reader + resampler", runRenderBenchmark },
        { "scan",     "a 1,000-file folder tree: addDirectory, clearPlaylist, removeEntry and the lock", runScanBenchmark },
        { "waveform", "WaveformView: a 5-minute file's thumbnail, cold and cached, and painting it", runWaveformBenchmark },
        { "scale",    "1,000 and 10,000 files: +PATH, LOAD, SAVE, CLEAR and exit; a 100,000-entry data.xml",
                      [] (const BenchContext& c) { return runScaleBenchmark (c.workFolder); } },
    };

    const Section* findSection (const std::string& name)
    {
        for (const auto& section : sections)
            if (name == section.name)
                return &section;

        return nullptr;
    }

    void printUsage()
    {
        std::printf ("usage: velorin_bench [--rounds N] [section ...]\n\nsections (all run when none is named):\n");

        for (const auto& section : sections)
            std::printf ("  %-10s %s\n", section.name, section.summary);
    }

    /** Fills the options and the sections to run. Returns -1 to go on, or the exit code
        when there is nothing to run (help asked for, or a bad argument). */
    int parseArguments (int argc, char** argv, BenchContext& context, std::vector<const Section*>& chosen)
    {
        for (int i = 1; i < argc; ++i)
        {
            const std::string arg (argv[i]);

            if (arg == "--rounds" && i + 1 < argc)
            {
                context.rounds = std::atoi (argv[++i]);

                if (context.rounds < 1)
                {
                    std::printf ("--rounds needs a positive number\n");
                    return 2;
                }
            }
            else if (const auto* section = findSection (arg))
            {
                chosen.push_back (section);
            }
            else if (arg == "--help" || arg == "-h")
            {
                printUsage();
                return 0;
            }
            else
            {
                std::printf ("unknown argument: %s\n", arg.c_str());
                printUsage();
                return 2;
            }
        }

        if (chosen.empty())
            for (const auto& section : sections)
                chosen.push_back (&section);

        return -1;
    }

    int runSections (const BenchContext& context, const std::vector<const Section*>& chosen)
    {
        bool allOk = true;

        for (const auto* section : chosen)
            allOk = section->run (context) && allOk;

        return allOk ? 0 : 1;
    }
}

int main (int argc, char** argv)
{
    // First of all, so that nothing can read or write the real user's files.
    const TemporaryHome home;

    if (! home.isValid())
    {
        std::printf ("could not create a temporary HOME\n");
        return 1;
    }

    BenchContext context;
    std::vector<const Section*> chosen;

    if (const int exitCode = parseArguments (argc, argv, context, chosen); exitCode >= 0)
        return exitCode;

    const juce::ScopedJuceInitialiser_GUI juceInitialiser;

    if (! ReplayProcessor::getDataFile().isAChildOf (home.getFolder()))
    {
        std::printf ("the data folder is not inside the temporary HOME: %s\n",
                     ReplayProcessor::getDataFile().getFullPathName().toRawUTF8());
        return 1;
    }

    context.workFolder = home.getFolder().getChildFile ("bench");

    if (! context.workFolder.createDirectory())
    {
        std::printf ("could not create %s\n", context.workFolder.getFullPathName().toRawUTF8());
        return 1;
    }

    std::printf ("Velorin benchmarks (temporary HOME %s, removed at exit)\n",
                 home.getFolder().getFullPathName().toRawUTF8());

    return runSections (context, chosen);
}
