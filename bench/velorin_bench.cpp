// Velorin's benchmark program: prints figures for the engine's hot paths.
//
//   velorin_bench [--rounds N] [section ...]
//
// With no section named, every section runs. The program runs in a temporary HOME of its
// own, so the processor's data files never touch the real user's; it is removed at exit.

#include "engine/ReplayProcessor.h"

#include <juce_events/juce_events.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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
    // Sections and command line

    struct Section
    {
        const char* name;
        const char* summary;
        bool (*run) (const BenchContext&);
    };

    const Section sections[] = {
        { "render", "a 5-minute file through ReplayProcessor::processBlock vs. reader + resampler", runRenderBenchmark },
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
