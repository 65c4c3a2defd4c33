// velorin_soak: the whole player (MainComponent with its device manager, processor player,
// engine and editor) on a JACK dummy device for minutes of simulated use: a seeded sequence
// of user actions on the message thread, whose loop runs the editor's and the waveform's
// timers in between, while another thread sends MIDI.
//
//   velorin_soak [seconds = 180] [seed = 1]
//
// It fails (exit code 1) when the device stops calling the player for more than 50 block
// periods, when more than a few blocks take over ten times their budget (block size /
// sample rate), when a JUCE assertion fires, or when data.xml and midi.map, written as the
// player is destroyed, don't hold exactly the points and messages that were set.
// HOME is a temporary folder for the whole run.

#include "app/MainComponent.h"
#include "engine/XmlFiles.h"
#include "ui/ReplayProcessorEditor.h"
#include "tests/JackServer.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <map>
#include <mutex>
#include <numeric>
#include <set>


namespace
{
    std::int64_t nanosNow()
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds> (std::chrono::steady_clock::now().time_since_epoch()).count();
    }

    std::int64_t threadCpuNanos()
    {
        timespec t {};
        clock_gettime (CLOCK_THREAD_CPUTIME_ID, &t);
        return (std::int64_t) t.tv_sec * 1000000000 + t.tv_nsec;
    }

    juce::String ms (double nanos)   { return juce::String (nanos * 1.0e-6, 3) + " ms"; }

    /** The simulated operation running on the message thread, for the slow-block list; -1 between. */
    std::atomic<int> currentOp { -1 };

    /** Prints log lines and counts JUCE assertions, except the tag-name checks of XmlElement
        (the data file's elements are named by hex keys that may begin with a digit). */
    struct SoakLogger : juce::Logger
    {
        void logMessage (const juce::String& message) override
        {
            if (message == "JUCE Assertion failure in juce_XmlElement.cpp:91"
                 || message == "JUCE Assertion failure in juce_XmlElement.cpp:103")
                return;

            if (message.contains ("JUCE Assertion failure"))
                ++assertions;

            std::cerr << message << std::endl;
        }

        std::atomic<int> assertions { 0 };
    };

    //==============================================================================
    /** Stands between the device and the player: forwards every call and times each block
        into preallocated atomics (a log-scale histogram, the longest gap between blocks and
        the first blocks over twice their budget). Nothing here allocates or locks. */
    class TimedCallback : public juce::AudioIODeviceCallback
    {
    public:
        static constexpr int binsPerDecade = 100, numBins = 7 * binsPerDecade;   // 1 us to 10 s
        struct Slow { std::int64_t at, wall, cpu; int op; };

        explicit TimedCallback (juce::AudioIODeviceCallback& p) : player (p) {}

        void audioDeviceIOCallbackWithContext (const float* const* ins, int numIns, float* const* outs, int numOuts,
                                               int numSamples, const juce::AudioIODeviceCallbackContext& context) override
        {
            const auto start = nanosNow();
            const auto cpuStart = threadCpuNanos();
            player.audioDeviceIOCallbackWithContext (ins, numIns, outs, numOuts, numSamples, context);
            const auto wall = nanosNow() - start;

            if (const auto previous = lastStart.exchange (start); previous > 0 && start - previous > longestGap)
                longestGap = start - previous;

            const auto budget = (std::int64_t) (numSamples * 1.0e9 / sampleRate);
            const auto bin = wall < 1000 ? 0 : (int) ((std::log10 ((double) wall) - 3.0) * binsPerDecade);
            bins[(size_t) juce::jmin (bin, numBins - 1)].fetch_add (1, std::memory_order_relaxed);
            maxWall = std::max (maxWall.load(), wall);
            ++count;

            if (wall > 10 * budget)
                ++overTen;

            if (wall > 2 * budget)
                if (const auto slot = (size_t) numSlow.fetch_add (1); slot < slow.size())
                    slow[slot] = { start, wall, threadCpuNanos() - cpuStart, currentOp.load() };
        }

        void audioDeviceAboutToStart (juce::AudioIODevice* device) override
        {
            sampleRate = device->getCurrentSampleRate();
            lastStart = 0;   // a restart is no gap
            ++starts;
            player.audioDeviceAboutToStart (device);
        }

        void audioDeviceStopped() override   { player.audioDeviceStopped(); }

        void audioDeviceError (const juce::String& message) override
        {
            std::cerr << "audio device error: " << message << std::endl;
            ++errors;
            player.audioDeviceError (message);
        }

        /** The time within which a fraction of the blocks ran, to the histogram's 2.3 %. */
        double percentile (double fraction) const
        {
            const auto target = (std::int64_t) std::ceil (fraction * (double) count.load());
            std::int64_t seen = 0;

            for (int b = 0; b < numBins && target > 0; ++b)
                if ((seen += bins[(size_t) b].load()) >= target)
                    return std::min ((double) maxWall.load(), std::pow (10.0, 3.0 + (b + 1.0) / binsPerDecade));

            return 0.0;
        }

        juce::String summary() const
        {
            return juce::String (count.load()) + " blocks: median " + ms (percentile (0.5)) + ", p99 " + ms (percentile (0.99))
                 + ", p99.9 " + ms (percentile (0.999)) + ", max " + ms ((double) maxWall.load()) + ", over 10x budget "
                 + juce::String (overTen.load()) + "; longest gap " + ms ((double) longestGap.load());
        }

        juce::AudioIODeviceCallback& player;
        double sampleRate = 48000.0;
        std::array<std::atomic<std::int64_t>, numBins> bins {};
        std::atomic<std::int64_t> count { 0 }, maxWall { 0 }, overTen { 0 }, lastStart { 0 }, longestGap { 0 };
        std::atomic<int> starts { 0 }, errors { 0 }, numSlow { 0 };
        std::array<Slow, 64> slow {};
    };

    //==============================================================================
    /** Sends MIDI into the player's collector as an input device would: notes, controllers,
        pitch bend and program changes on channels 2 to 5, long SysEx, and now and then one
        of the learned messages (controllers on channel 1), so that their actions fire. */
    class MidiFeeder : public juce::Thread
    {
    public:
        MidiFeeder (juce::MidiMessageCollector& c, int seed) : juce::Thread ("soak MIDI"), collector (c), rng (seed)
        {
            for (auto& n : learned)
                n = -1;
        }

        ~MidiFeeder() override   { stopThread (2000); }

        /** The message an action learns the n-th time it is learned. */
        static juce::MidiMessage learnable (int action, int n)
        {
            return juce::MidiMessage::controllerEvent (1, 20 + 8 * action + n % 8, 127);
        }

        /** While quiet nothing is sent; once this returns, nothing more is on its way. */
        void setQuiet (bool shouldBeQuiet)
        {
            const std::lock_guard<std::mutex> hold (lock);
            quiet = shouldBeQuiet;
        }

        void run() override
        {
            while (! threadShouldExit())
            {
                wait (rng.nextInt ({ 5, 80 }));
                const std::lock_guard<std::mutex> hold (lock);

                if (quiet)
                    continue;

                auto message = pick();
                message.setTimeStamp (juce::Time::getMillisecondCounterHiRes() * 0.001);
                collector.addMessageToQueue (message);
                ++sent;
            }
        }

        std::array<std::atomic<int>, MidiMap::numMappings> learned;   // n of the action's last learning, or -1
        std::atomic<int> sent { 0 }, sentLearned { 0 };

    private:
        juce::MidiMessage pick()
        {
            using M = juce::MidiMessage;

            if (const int action = rng.nextInt (MidiMap::numMappings); learned[(size_t) action] >= 0 && rng.nextInt (5) == 0)
            {
                ++sentLearned;
                return learnable (action, learned[(size_t) action]);
            }

            switch (rng.nextInt (6))
            {
                case 0:  return M::noteOn (2, rng.nextInt (128), (juce::uint8) rng.nextInt ({ 1, 128 }));
                case 1:  return M::noteOff (2, rng.nextInt (128));
                case 2:  return M::controllerEvent (3, rng.nextInt (128), rng.nextInt (128));
                case 3:  return M::pitchWheel (4, rng.nextInt (16384));
                case 4:  return M::programChange (5, rng.nextInt (128));
                default: break;
            }

            juce::uint8 data[80];   // longer than the engine's fixed text buffer
            for (auto& d : data)
                d = (juce::uint8) rng.nextInt (128);

            return M::createSysExMessage (data, (int) sizeof (data));
        }

        juce::MidiMessageCollector& collector;
        juce::Random rng;
        std::mutex lock;
        bool quiet = false;
    };

    //==============================================================================
    /** A WAV or AIFF (by extension) of decaying sine beats. */
    bool writeAudio (const juce::File& file, double rate, int channels, int bits, double seconds, juce::Random& rng)
    {
        std::unique_ptr<juce::AudioFormat> format;

        if (file.hasFileExtension ("aif;aiff"))
            format = std::make_unique<juce::AiffAudioFormat>();
        else
            format = std::make_unique<juce::WavAudioFormat>();

        file.getParentDirectory().createDirectory();
        auto stream = std::make_unique<juce::FileOutputStream> (file);
        std::unique_ptr<juce::AudioFormatWriter> writer (format->createWriterFor (stream.get(), rate, (unsigned int) channels, bits, {}, 0));

        if (writer == nullptr)
            return false;

        stream.release();
        const auto total = (int) (seconds * rate);
        const auto omega = juce::MathConstants<double>::twoPi * 110.0 * std::pow (2.0, rng.nextInt (24) / 12.0) / rate;
        juce::AudioBuffer<float> buffer (channels, total);

        for (int c = 0; c < channels; ++c)
            for (int i = 0; i < total; ++i)
                buffer.setSample (c, i, (float) (0.3 * std::exp (-2.0 * std::fmod (i / rate, 1.0)) * std::sin (omega * (1.0 + 0.002 * c) * i)));

        return writer->writeFromAudioSampleBuffer (buffer, 0, total);
    }

    struct Points { float cue = 0.0f, a = 0.0f, b = 0.0f; };

    bool operator!= (const Points& x, const Points& y)   { return x.cue != y.cue || x.a != y.a || x.b != y.b; }

    juce::String describe (const Points& p)
    {
        return "cue " + XmlFiles::formatNumber (p.cue) + ", A " + XmlFiles::formatNumber (p.a) + ", B " + XmlFiles::formatNumber (p.b);
    }

    //==============================================================================
    /** The simulated user, on the message thread. It keeps each file at most once in the
        playlist, so the points last set for a file are what its entry holds and what the
        data file must hold in the end. */
    class Soak
    {
    public:
        struct Op { const char* name; int weight; bool (Soak::*run)(); int count; };

        Soak (MainComponent& m, TimedCallback& t, MidiFeeder& f, const juce::File& home, int seed)
            : main (m), editor (dynamic_cast<ReplayProcessorEditor&> (*m.editor)), processor (*m.processor),
              fx (editor.effects), view (*editor.waveform), timing (t), feeder (f), folder (home.getChildFile ("audio")), rng (seed)
        {
            const double rates[] = { 44100.0, 48000.0, 96000.0 };
            const juce::String etude (juce::CharPointer_UTF8 ("\xc3\x89tude \xc3\xa0 No\xc3\xabl."));   // three two-byte characters:
            juce::StringArray names { "broken.wav", etude + "wav", etude + "bwf" };                       // the same key for both
            folder.createDirectory();

            for (int i = 0; i < 14; ++i)
                names.add ("track-" + juce::String (i).paddedLeft ('0', 2) + (i % 3 == 2 ? ".aif" : ".wav"));

            for (auto* album : { "album-1/", "album-2/", "album-3/side-b/" })
                for (int i = 0; i < 3; ++i)
                    names.add (album + ("song-" + juce::String (i)) + (i == 1 ? ".aiff" : ".wav"));

            for (const auto& name : names)
            {
                library.push_back (folder.getChildFile (name));

                if (! (isBroken (library.back()) ? library.back().replaceWithText ("RIFFxxxxWAVEjunk" + juce::String::repeatedString ("x", 999))
                                                 : writeAudio (library.back(), rates[rng.nextInt (3)], rng.nextInt ({ 1, 3 }),
                                                               rng.nextBool() ? 16 : 24, 2.0 + 3.0 * rng.nextDouble(), rng)))
                    fail ("could not write " + name);
            }
        }

        void step()
        {
            int pick = rng.nextInt (totalWeight), op = 0;

            while (pick >= ops[(size_t) op].weight)
                pick -= ops[(size_t) op++].weight;

            currentOp = lastOp = op;
            ops[(size_t) op].count += (this->*ops[(size_t) op].run)() ? 1 : 0;
            currentOp = -1;
            ++steps;
            playingSteps += processor.paused || processor.playlist.isEmpty() ? 0 : 1;
            checkEntries();
            pump (rng.nextInt ({ 5, 40 }));
        }

        /** Runs the message loop (the editor's and the waveform's timers), and watches the device. */
        void pump (int milliseconds)
        {
            juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds);

            if (const auto silent = nanosNow() - timing.lastStart; ! callbacksStopped && timing.lastStart > 0 && silent > gapLimit)
            {
                callbacksStopped = true;
                fail ("the device has not called the player for " + ms ((double) silent));
            }
        }

        void fail (const juce::String& message)
        {
            if (failures.size() < 20)
                std::cout << "FAIL: " << message << std::endl;

            failures.add (message);
        }

        /** Once the player is gone: data.xml holds one element per readable file ever added,
            with the points last set, and midi.map the messages last learned. */
        void checkDataFiles (const juce::File& dataFolder)
        {
            const auto map = juce::XmlDocument::parse (dataFolder.getChildFile ("midi.map"));

            for (int i = 0; i < MidiMap::numMappings; ++i)
                if (map == nullptr || map->getStringAttribute ("midi-" + juce::String (i)) != learnedText[i])
                    fail ("midi.map: action " + juce::String (i) + " is not \"" + learnedText[i] + "\"");

            const auto data = juce::XmlDocument::parse (dataFolder.getChildFile ("data.xml"));

            if (data == nullptr)
                return fail ("data.xml is missing or does not parse");

            std::set<juce::String> seen;

            for (auto* element : data->getChildIterator())
            {
                const auto path = element->getStringAttribute ("name");
                const Points stored { (float) element->getDoubleAttribute ("cue"), (float) element->getDoubleAttribute ("p1"),
                                      (float) element->getDoubleAttribute ("p2") };

                if (! seen.insert (path).second || added.count (path) == 0)
                    fail ("data.xml: an unexpected or repeated element for \"" + path + "\"");
                else if (! element->hasAttribute ("cue") || ! element->hasAttribute ("p1") || ! element->hasAttribute ("p2"))
                    fail ("data.xml: a point is missing for " + path);
                else if (stored != expected[path])
                    fail ("data.xml: " + path + " holds " + describe (stored) + ", set was " + describe (expected[path]));
            }

            for (const auto& path : added)
                if (seen.count (path) == 0)
                    fail ("data.xml: no element for " + path);

            std::cout << "data.xml and midi.map checked: " << seen.size() << " files, " << MidiMap::numMappings << " actions" << std::endl;
        }

        std::vector<Op> ops {
            { "add file", 12, &Soak::addFile, 0 },       { "add folder", 3, &Soak::addFolder, 0 },
            { "delete row", 8, &Soak::deleteRandomRow, 0 }, { "clear", 1, &Soak::clear, 0 },
            { "save+clear+load", 1, &Soak::reload, 0 },  { "select", 10, &Soak::select, 0 },
            { "seek", 8, &Soak::seek, 0 },               { "drag", 6, &Soak::drag, 0 },
            { "zoom", 3, &Soak::zoom, 0 },               { "menu point", 12, &Soak::menuPoint, 0 },
            { "field point", 8, &Soak::fieldPoint, 0 },  { "transport button", 12, &Soak::transport, 0 },
            { "key", 8, &Soak::key, 0 },                 { "learn", 2, &Soak::learn, 0 },
            { "volume", 5, &Soak::volume, 0 } };
        const int totalWeight = std::accumulate (ops.begin(), ops.end(), 0, [] (int sum, const Op& op) { return sum + op.weight; });

        int size() const   { return processor.playlist.size(); }

        juce::StringArray failures;
        std::int64_t gapLimit = 0;
        int steps = 0, playingSteps = 0;

    private:
        //==============================================================================
        bool addFile()
        {
            juce::Array<juce::File> choices;

            for (const auto& file : library)
                if (! inPlaylist (file))
                    choices.add (file);

            if (! choices.isEmpty())
                editor.addFileChosen (choices[rng.nextInt (choices.size())]);

            return ! choices.isEmpty();
        }

        bool addFolder()
        {
            const auto album = folder.getChildFile ("album-" + juce::String (rng.nextInt ({ 1, 4 })));

            for (const auto& file : library)
                if (file.isAChildOf (album) && inPlaylist (file))
                    return false;

            editor.addPathChosen (album);
            return true;
        }

        bool deleteRow (int row)
        {
            editor.playlist->selectRow (row);
            editor.buttonClicked (editor.deleteButton.get());
            return true;
        }

        bool deleteRandomRow()   { return size() > 0 && deleteRow (rng.nextInt (size())); }
        bool clear()             { editor.buttonClicked (editor.clearButton.get()); return true; }

        bool reload()
        {
            const auto saved = folder.getSiblingFile ("playlist.xml");
            const auto before = size();
            editor.saveChosen (saved);
            clear();
            editor.loadChosen (saved);

            if (size() != before)
                fail ("a saved playlist of " + juce::String (before) + " rows loaded " + juce::String (size()));

            return before > 0;
        }

        bool select()
        {
            if (size() == 0)
                return false;

            if (rng.nextBool())
                editor.cellClicked (rng.nextInt (size()), 1, mouseEvent (editor, 0, 0));
            else
                processor.selectTrack (rng.nextInt ({ -1, size() + 1 }));

            return true;
        }

        bool seek()
        {
            if (auto* entry = randomEntry())
                processor.moveEntryTo (*entry, rng.nextFloat() * entry->lengthSeconds);

            return size() > 0;
        }

        bool drag()
        {
            const int x = rng.nextInt (view.getWidth());
            view.mouseDrag (mouseEvent (view, x, x + (rng.nextBool() ? 30 : -30)));
            return view.currentTrack != nullptr;
        }

        bool zoom()
        {
            juce::MouseWheelDetails wheel {};
            wheel.deltaY = rng.nextBool() ? 0.25f : -0.25f;
            view.mouseWheelMove (mouseEvent (view, 10, 10), wheel);
            return true;
        }

        /** The marker menu's choice at a random x of the waveform (or none); now and then the
            entry is deleted while the menu is open, and the choice must then do nothing. */
        bool menuPoint()
        {
            if (view.currentTrack == nullptr)
                return false;

            WaveformView::PopupCallback callback (view.currentTrack, view.timeAtX (rng.nextInt (view.getWidth())));
            const int choice = rng.nextInt (4);
            auto& points = pointsOf (*view.currentTrack);

            if (rng.nextInt (10) == 0)
                deleteRow (processor.playlist.indexOf (view.currentTrack));
            else if (choice == 1)
                points.cue = callback.time;
            else if (choice == 2)
                points.a = callback.time;
            else if (choice == 3)
                points.b = callback.time > points.a ? callback.time : points.a + 1.0f;

            callback.modalStateFinished (choice);
            return true;
        }

        bool fieldPoint()
        {
            auto* entry = randomEntry();

            if (entry == nullptr)
                return false;

            auto& points = pointsOf (*entry);
            const auto time = (1.2f * rng.nextFloat() - 0.1f) * entry->lengthSeconds;
            const int which = rng.nextInt (3);
            (which == 0 ? entry->cue : which == 1 ? entry->loopA : entry->loopB) = time;
            (which == 0 ? points.cue : which == 1 ? points.a : points.b) = time;
            return true;
        }

        bool transport()
        {
            juce::Button* buttons[] = { fx.nextButton.get(), fx.prevButton.get(), fx.playButton.get(), fx.repeatButton.get(), fx.cueButton.get() };
            fx.buttonClicked (processor.paused && rng.nextBool() ? fx.playButton.get() : buttons[rng.nextInt (5)]);
            return true;
        }

        bool key()
        {
            const int codes[] = { juce::KeyPress::spaceKey, juce::KeyPress::F9Key, juce::KeyPress::F10Key };
            return editor.keyPressed (juce::KeyPress (codes[rng.nextInt (3)]), &editor);
        }

        bool volume()
        {
            fx.volSlider->setValue (rng.nextInt ({ -60, 11 }), juce::sendNotificationSync);
            return true;
        }

        /** LEARN on, the action's button, its message, LEARN off; with the feeder quiet so that
            the message learned is the one sent here. */
        bool learn()
        {
            const int action = rng.nextInt (MidiMap::numMappings);
            juce::Button* buttons[] = { fx.nextButton.get(), fx.prevButton.get(), fx.playButton.get(), fx.repeatButton.get() };
            const int n = ++learnings[(size_t) action];
            auto message = MidiFeeder::learnable (action, n);

            feeder.setQuiet (true);
            pump (30);   // what was sent before reaches the processor first
            fx.midiButton->setToggleState (true, juce::sendNotificationSync);
            fx.buttonClicked (buttons[action]);
            message.setTimeStamp (juce::Time::getMillisecondCounterHiRes() * 0.001);
            main.player.getMidiMessageCollector().addMessageToQueue (message);

            for (int waited = 0; processor.midiMap.learnIndex >= 0 && waited < 1000; waited += 5)
                pump (5);

            const bool arrived = processor.midiMap.learnIndex < 0;
            fx.midiButton->setToggleState (false, juce::sendNotificationSync);

            {
                const juce::ScopedLock sl (processor.getCallbackLock());   // the block that learned has ended
                learnedText[action] = processor.midiMap.mappings[action].message;
            }

            if (! arrived)
                fail ("the message to learn for action " + juce::String (action) + " did not reach the engine in a second");
            else if (learnedText[action] != MidiMap::messageText (message))
                fail ("action " + juce::String (action) + " learned \"" + learnedText[action] + "\" from \"" + MidiMap::messageText (message) + "\"");
            else
                feeder.learned[(size_t) action] = n;

            feeder.setQuiet (false);
            return true;
        }

        //==============================================================================
        /** Every entry holds the points last set for its file; notes each readable file added. */
        void checkEntries()
        {
            for (auto* entry : processor.playlist)
            {
                if (isBroken (entry->file))
                    continue;

                const auto path = entry->getFilePath();
                const Points live { entry->cue, entry->loopA, entry->loopB };
                added.insert (path);

                if (live != expected[path])
                {
                    fail ("after \"" + juce::String (ops[(size_t) lastOp].name) + "\" the entry of " + path + " holds "
                          + describe (live) + ", set was " + describe (expected[path]));
                    expected[path] = live;
                }
            }
        }

        /** A file that doesn't open never stores its points; what is set on it goes nowhere. */
        bool isBroken (const juce::File& file) const     { return file.getFileName() == "broken.wav"; }
        Points& pointsOf (const PlaylistEntry& entry)    { return isBroken (entry.file) ? scratch : expected[entry.getFilePath()]; }
        PlaylistEntry* randomEntry()                     { return size() > 0 ? processor.playlist[rng.nextInt (size())] : nullptr; }

        bool inPlaylist (const juce::File& file) const
        {
            for (auto* entry : processor.playlist)
                if (entry->file == file)
                    return true;

            return false;
        }

        static juce::MouseEvent mouseEvent (juce::Component& target, int x, int pressX)
        {
            const auto now = juce::Time::getCurrentTime();
            return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), { (float) x, 50.0f }, {}, 0.0f, 0.0f, 0.0f,
                                     0.0f, 0.0f, &target, &target, now, { (float) pressX, 50.0f }, now, 1, x != pressX);
        }

        MainComponent& main;
        ReplayProcessorEditor& editor;
        ReplayProcessor& processor;
        EffectsComponent& fx;
        WaveformView& view;
        TimedCallback& timing;
        MidiFeeder& feeder;
        const juce::File folder;
        juce::Random rng;
        std::vector<juce::File> library;
        std::map<juce::String, Points> expected;
        std::set<juce::String> added;
        Points scratch;
        std::array<int, MidiMap::numMappings> learnings {};
        juce::String learnedText[MidiMap::numMappings];
        int lastOp = 0;
        bool callbacksStopped = false;
    };

    //==============================================================================
    bool runSoak (int seconds, int seed, const juce::File& home)
    {
        JackServer jack;

        if (! jack.ready)
        {
            std::cout << "FAIL: no JACK dummy server could be started" << std::endl;
            return false;
        }

        auto main = std::make_unique<MainComponent>();
        auto& devices = main->deviceManager;

        // Without a sound card the framework falls back to JACK by itself; elsewhere choose it.
        if (auto* d = devices.getCurrentAudioDevice(); d == nullptr || d->getTypeName() != "JACK")
            devices.setCurrentAudioDeviceType ("JACK", true);

        auto* device = devices.getCurrentAudioDevice();

        if (device == nullptr || device->getTypeName() != "JACK")
        {
            std::cout << "FAIL: no JACK device" << std::endl;
            return false;
        }

        const auto budget = (std::int64_t) (device->getCurrentBufferSizeSamples() * 1.0e9 / device->getCurrentSampleRate());
        std::cout << "velorin_soak: " << seconds << " s, seed " << seed << ", JACK server " << jack.name << " at "
                  << device->getCurrentSampleRate() << " Hz, " << device->getCurrentBufferSizeSamples()
                  << " samples a block (budget " << ms ((double) budget) << ")" << std::endl;

        // Every block passes through the timing callback on its way to the player.
        TimedCallback timing (main->player);
        devices.removeAudioCallback (&main->player);
        devices.addAudioCallback (&timing);

        MidiFeeder feeder (main->player.getMidiMessageCollector(), seed + 1);
        Soak soak (*main, timing, feeder, home, seed);
        soak.gapLimit = 50 * budget;
        feeder.startThread();

        const auto start = nanosNow();
        const auto elapsed = [start] { return (double) (nanosNow() - start) * 1.0e-9; };

        for (double nextReport = 30.0; elapsed() < seconds;)
        {
            soak.step();

            if (elapsed() >= nextReport)
            {
                nextReport += 30.0;
                std::cout << "[" << juce::roundToInt (elapsed()) << " s] " << soak.steps << " steps, playlist "
                          << soak.size() << ", " << timing.summary() << std::endl;
            }
        }

        feeder.stopThread (2000);
        soak.pump (100);

        // The program's own shutdown: the player back on the device, then everything goes while it plays.
        devices.removeAudioCallback (&timing);
        devices.addAudioCallback (&main->player);
        main.reset();
        soak.checkDataFiles (XmlFiles::getDataFolder());

        const auto allowed = std::max<std::int64_t> (2, timing.count / 10000);
        std::cout << "block times, " << timing.summary() << " (limit " << ms (50.0 * (double) budget) << ")" << std::endl;

        for (int i = 0; i < std::min (timing.numSlow.load(), (int) timing.slow.size()); ++i)
        {
            const auto& s = timing.slow[(size_t) i];
            std::cout << "  slow block at " << juce::String ((double) (s.at - start) * 1.0e-9, 1) << " s: " << ms ((double) s.wall)
                      << " (" << ms ((double) s.cpu) << " on the CPU), during " << (s.op >= 0 ? soak.ops[(size_t) s.op].name : "the message loop") << std::endl;
        }

        std::cout << "operations in " << soak.steps << " steps (playing during " << (100 * soak.playingSteps / juce::jmax (1, soak.steps)) << " %):";

        for (size_t i = 0; i < soak.ops.size(); ++i)
            std::cout << (i % 5 == 0 ? "\n " : "") << " " << soak.ops[i].name << " " << soak.ops[i].count << ";";

        std::cout << "\nMIDI messages sent " << feeder.sent << ", learned ones among them " << feeder.sentLearned
                  << "; device starts " << timing.starts << ", errors " << timing.errors << std::endl;

        if (timing.overTen > allowed)
            soak.fail (juce::String (timing.overTen.load()) + " blocks over 10x budget, at most " + juce::String (allowed) + " allowed");
        else if (timing.overTen > 0)
            std::cout << "WARNING: " << timing.overTen << " blocks over 10x budget (at most " << allowed << " allowed)" << std::endl;

        if (timing.longestGap > soak.gapLimit)
            soak.fail ("a gap of " + ms ((double) timing.longestGap.load()) + " between blocks");

        if (timing.errors > 0 || timing.count == 0)
            soak.fail ("the device reported errors or never called");

        return soak.failures.isEmpty();
    }
}

int main (int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi (argv[1]) : 180;
    const int seed = argc > 2 ? std::atoi (argv[2]) : 1;

    if (seconds <= 0)
    {
        std::cerr << "usage: velorin_soak [seconds = 180] [seed = 1]" << std::endl;
        return 2;
    }

    // HOME goes first: nothing may have asked the framework for a user folder before.
    const char* tmp = std::getenv ("TMPDIR");
    std::string pattern = std::string (tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/velorin-soak-XXXXXX";

    if (mkdtemp (pattern.data()) == nullptr)
    {
        std::cerr << "cannot make a temporary HOME" << std::endl;
        return 1;
    }

    setenv ("HOME", pattern.c_str(), 1);

    // No display: the player needs none, and the framework would otherwise connect to any X
    // server answering at :0 (another run's Xvfb, say), whose end would end this process too.
    setenv ("DISPLAY", "none", 1);
    const juce::File home (pattern);

    SoakLogger logger;
    juce::Logger::setCurrentLogger (&logger);
    bool passed = false;

    {
        const juce::ScopedJuceInitialiser_GUI gui;
        passed = runSoak (seconds, seed, home);
    }

    juce::Logger::setCurrentLogger (nullptr);
    home.deleteRecursively();

    if (logger.assertions > 0)
        std::cout << "FAIL: " << logger.assertions << " JUCE assertion(s), printed above" << std::endl;

    passed = passed && logger.assertions == 0;
    std::cout << (passed ? "PASS" : "FAIL") << std::endl;
    return passed ? 0 : 1;
}
