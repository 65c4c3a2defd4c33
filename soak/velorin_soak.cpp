// velorin_soak [seconds = 180] [seed = 1]: the whole player (MainComponent with its device
// manager, processor player, engine and editor) on a JACK dummy device for minutes of simulated
// use: seeded user actions on the message thread, whose loop runs the timers in between, while
// another thread sends MIDI. It fails when the device stops calling the player for over 50 block
// periods, when more than a few blocks take over ten times their budget, on a JUCE assertion,
// when a saved playlist loads back otherwise, when an entry loses the points set on it or a
// message to learn goes missing, and when data.xml and midi.map, written as the player goes,
// don't hold exactly the points and messages last set.

#include "TestKit.h"
#include "app/MainComponent.h"
#include "ui/ReplayProcessorEditor.h"

#include <iostream>
#include <map>
#include <numeric>
#include <thread>

namespace
{
    std::int64_t nanos()   { return std::chrono::steady_clock::now().time_since_epoch().count(); }

    /** Passes every call on to the player and times each block, allocating and locking nothing. */
    struct TimedCallback : juce::AudioIODeviceCallback
    {
        explicit TimedCallback (juce::AudioIODeviceCallback& p) : player (p) {}

        void audioDeviceIOCallbackWithContext (const float* const* in, int numIn, float* const* out, int numOut, int numSamples,
                                               const juce::AudioIODeviceCallbackContext& context) override
        {
            const auto start = nanos();
            player.audioDeviceIOCallbackWithContext (in, numIn, out, numOut, numSamples, context);
            const auto took = nanos() - start, previous = lastStart.exchange (start);
            longestGap = std::max (longestGap.load(), previous > 0 ? start - previous : 0);
            longest = std::max (longest.load(), took);
            overTen += took > 10 * (std::int64_t) (numSamples * 1.0e9 / rate) ? 1 : 0;
            ++count;
        }

        void audioDeviceAboutToStart (juce::AudioIODevice* device) override   { rate = device->getCurrentSampleRate(); lastStart = 0; player.audioDeviceAboutToStart (device); }
        void audioDeviceStopped() override                                     { player.audioDeviceStopped(); }
        void audioDeviceError (const juce::String& message) override          { ++errors; player.audioDeviceError (message); }

        juce::AudioIODeviceCallback& player;
        double rate = 48000.0;
        std::atomic<std::int64_t> count { 0 }, overTen { 0 }, longest { 0 }, longestGap { 0 }, lastStart { 0 }, errors { 0 };
    };

    juce::String ms (std::int64_t n)   { return juce::String ((double) n * 1.0e-6, 3) + " ms"; }

    bool soak (int seconds, int seed, const juce::File& home)
    {
        int failures = 0;
        const auto fail = [&] (const juce::String& message) { if (++failures < 20) std::cout << "FAIL: " << message << std::endl; };
        testkit::JackServer jack;
        auto main = std::make_unique<MainComponent>();
        auto& devices = main->deviceManager;
        if (auto* d = devices.getCurrentAudioDevice(); d == nullptr || d->getTypeName() != "JACK")
            devices.setCurrentAudioDeviceType ("JACK", true);   // with a sound card, choose JACK
        auto* device = devices.getCurrentAudioDevice();
        if (! jack.ready || device == nullptr || device->getTypeName() != "JACK")
            return fail ("no JACK dummy device"), false;
        const auto budget = (std::int64_t) (device->getCurrentBufferSizeSamples() * 1.0e9 / device->getCurrentSampleRate());
        std::cout << "velorin_soak: " << seconds << " s, seed " << seed << ", budget " << ms (budget) << " a block" << std::endl;
        TimedCallback timing (main->player);
        devices.removeAudioCallback (&main->player);
        devices.addAudioCallback (&timing);

        auto& editor = dynamic_cast<ReplayProcessorEditor&> (*main->editor);
        auto& processor = *main->processor;
        auto& fx = editor.effects;
        auto& view = *editor.waveform;
        juce::Random rng (seed);

        // The library: WAV and AIFF files of several rates, one that does not open, two whose keys
        // are the same (three two-byte characters), and three albums.
        const auto folder = home.getChildFile ("audio");
        const juce::String etude (juce::CharPointer_UTF8 ("\xc3\x89tude \xc3\xa0 No\xc3\xabl."));
        juce::Array<juce::File> library { folder.getChildFile (etude + "wav"), folder.getChildFile (etude + "bwf") };
        for (int i = 0; i < 23; ++i)
            library.add (folder.getChildFile (i < 14 ? "track-" + juce::String (i) + (i % 3 == 2 ? ".aif" : ".wav") : "album-" + juce::String ((i - 14) / 3 + 1) + "/song-" + juce::String (i % 3) + (i % 3 == 1 ? ".aiff" : ".wav")));
        for (auto& file : library)
            if (const auto rate = std::array { 44100.0, 48000.0, 96000.0 }[(size_t) rng.nextInt (3)]; ! testkit::writeAudio (file, rate, rng.nextInt ({ 1, 3 }), (juce::int64) (rate * (2.0 + 3.0 * rng.nextDouble())), 16, true))
                fail ("could not write " + file.getFileName());
        library.add (folder.getChildFile ("broken.wav"));
        library.getLast().replaceWithText ("RIFFxxxxWAVEjunk" + juce::String::repeatedString ("x", 999));

        // MIDI from another thread, as an input device sends it; quiet while a message is learned.
        std::atomic<bool> stop { false }, quiet { false };
        std::thread midi ([&]
        {
            juce::Random r (seed + 1);
            for (juce::uint8 sysex[80]; ! stop; std::this_thread::sleep_for (std::chrono::milliseconds (r.nextInt ({ 5, 80 }))))
            {
                for (auto& byte : sysex)
                    byte = (juce::uint8) r.nextInt (128);
                auto m = std::array { juce::MidiMessage::noteOn (2, r.nextInt (128), (juce::uint8) r.nextInt ({ 1, 128 })), juce::MidiMessage::pitchWheel (4, r.nextInt (16384)),
                                      juce::MidiMessage::controllerEvent (1, 20 + r.nextInt (32), 127), juce::MidiMessage::createSysExMessage (sysex, 80) }[(size_t) r.nextInt (4)];
                m.setTimeStamp (juce::Time::getMillisecondCounterHiRes() * 0.001);
                if (! quiet)
                    main->player.getMidiMessageCollector().addMessageToQueue (m);
            }
        });

        struct Points { float cue = 0, a = 0, b = 0; bool operator!= (const Points& o) const { return cue != o.cue || a != o.a || b != o.b; } };
        std::map<juce::String, Points> expected;
        Points scratch;
        juce::String learned[MidiMap::numMappings];
        const auto pointsOf = [&] (PlaylistEntry& e) -> Points& { return e.file.getFileName() == "broken.wav" ? scratch : expected[e.getFilePath()]; };
        const auto pump = [&] (int milliseconds)
        {
            juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds);
            if (timing.lastStart > 0 && nanos() - timing.lastStart > 50 * budget)
                fail ("the device has not called the player for " + ms (nanos() - timing.lastStart));
        };
        const auto mouse = [] (juce::Component& c, int x, int pressX)
        { return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), { (float) x, 50.0f }, {}, 0, 0, 0, 0, 0, &c, &c, {}, { (float) pressX, 50.0f }, {}, 1, x != pressX); };
        const auto size = [&] { return processor.playlist.size(); };
        const auto deleteRow = [&] (int row) { editor.playlist->selectRow (row); editor.buttonClicked (editor.deleteButton.get()); };
        juce::Button* const buttons[] = { fx.nextButton.get(), fx.prevButton.get(), fx.playButton.get(), fx.repeatButton.get(), fx.cueButton.get() };

        const std::function<void()> ops[] = {
            [&] { if (auto f = library[rng.nextInt (library.size())]; std::none_of (processor.playlist.begin(), processor.playlist.end(), [&] (auto* e) { return e->file == f; })) editor.addFileChosen (f); },
            [&] {
                    const auto album = folder.getChildFile ("album-" + juce::String (rng.nextInt ({ 1, 4 })));
                    if (std::none_of (processor.playlist.begin(), processor.playlist.end(), [&] (auto* e) { return e->file.isAChildOf (album); }))
                        editor.addPathChosen (album);
                },
            [&] { if (size() > 0) deleteRow (rng.nextInt (size())); },
            [&] { editor.buttonClicked (editor.clearButton.get()); },
            [&] {
                    const auto list = folder.getSiblingFile ("playlist.xml");
                    const auto before = juce::String (size());
                    list.deleteFile();
                    editor.saveChosen (list);
                    editor.buttonClicked (editor.clearButton.get());
                    editor.loadChosen (list);
                    if (juce::String (size()) != before)
                        fail ("a saved playlist of " + before + " rows loaded " + juce::String (size()));
                },
            [&] { if (size() > 0) rng.nextBool() ? editor.cellClicked (rng.nextInt (size()), 1, mouse (editor, 0, 0)) : processor.selectTrack (rng.nextInt ({ -1, size() + 1 })); },
            [&] { if (size() > 0) processor.moveEntryTo (*processor.playlist[rng.nextInt (size())], rng.nextFloat() * 5.0f); },
            [&] { const int x = rng.nextInt (view.getWidth()); view.mouseDrag (mouse (view, x, x + (rng.nextBool() ? 30 : -30))); },
            [&] { juce::MouseWheelDetails wheel {}; wheel.deltaY = rng.nextBool() ? 0.25f : -0.25f; view.mouseWheelMove (mouse (view, 10, 10), wheel); },
            [&] {   // the marker menu's choice; now and then the entry goes while the menu is open
                    if (view.currentTrack == nullptr)
                        return;
                    WaveformView::PopupCallback menu (view.currentTrack, view.timeAtX (rng.nextInt (view.getWidth())));
                    auto& p = pointsOf (*view.currentTrack);
                    const int choice = rng.nextInt (4);
                    if (rng.nextInt (10) == 0)
                        deleteRow (processor.playlist.indexOf (view.currentTrack));
                    else
                        (choice == 1 ? p.cue : choice == 2 ? p.a : choice == 3 ? p.b : scratch.cue) = choice == 3 && menu.time <= p.a ? p.a + 1.0f : menu.time;
                    menu.modalStateFinished (choice);
                },
            [&] {
                    if (size() == 0)
                        return;
                    auto& e = *processor.playlist[rng.nextInt (size())];
                    const auto time = (1.2f * rng.nextFloat() - 0.1f) * e.lengthSeconds;
                    const int which = rng.nextInt (3);
                    (which == 0 ? e.cue : which == 1 ? e.loopA : e.loopB) = time;
                    (which == 0 ? pointsOf (e).cue : which == 1 ? pointsOf (e).a : pointsOf (e).b) = time;
                },
            [&] { fx.buttonClicked (processor.paused && rng.nextBool() ? fx.playButton.get() : buttons[rng.nextInt (5)]); },
            [&] { editor.keyPressed (juce::KeyPress (std::array { juce::KeyPress::spaceKey, juce::KeyPress::F9Key, juce::KeyPress::F10Key }[(size_t) rng.nextInt (3)]), &editor); },
            [&] { fx.volSlider->setValue (rng.nextInt ({ -60, 11 }), juce::sendNotificationSync); },
            [&] {   // LEARN on, an action's button, its message, LEARN off
                    const int action = rng.nextInt (MidiMap::numMappings);
                    auto message = juce::MidiMessage::controllerEvent (1, 20 + 8 * action + rng.nextInt (8), 127);
                    quiet = true;
                    pump (100);   // what was sent before reaches the processor first
                    fx.midiButton->setToggleState (true, juce::sendNotificationSync);
                    fx.buttonClicked (buttons[action]);
                    message.setTimeStamp (juce::Time::getMillisecondCounterHiRes() * 0.001);
                    main->player.getMidiMessageCollector().addMessageToQueue (message);
                    for (int waited = 0; processor.midiMap.learnIndex >= 0 && waited < 1000; waited += 5)
                        pump (5);
                    fx.midiButton->setToggleState (false, juce::sendNotificationSync);
                    const juce::ScopedLock sl (processor.getCallbackLock());   // the block that learned has ended
                    learned[action] = processor.midiMap.mappings[action].message;
                    if (learned[action] != MidiMap::messageText (message))
                        fail ("action " + juce::String (action) + " learned \"" + learned[action] + "\" instead of " + MidiMap::messageText (message));
                    quiet = false;
                } };
        const int weights[] = { 12, 3, 8, 1, 1, 10, 8, 6, 3, 12, 8, 12, 8, 5, 2 };

        int steps = 0;
        for (const auto start = nanos(); nanos() - start < seconds * (std::int64_t) 1000000000; ++steps)
        {
            int op = 0;
            for (int pick = rng.nextInt (std::accumulate (std::begin (weights), std::end (weights), 0)); pick >= weights[op]; pick -= weights[op++]) {}
            ops[op]();
            for (auto* e : processor.playlist)   // every entry holds the points last set for its file
                if (auto& p = pointsOf (*e); &p != &scratch && p != Points { e->cue, e->loopA, e->loopB })
                    fail ("after operation " + juce::String (op) + " the entry of " + e->getFilePath() + " lost its points"), p = { e->cue, e->loopA, e->loopB };
            pump (rng.nextInt ({ 5, 40 }));
        }
        stop = true;
        midi.join();
        pump (100);

        // The program's own shutdown: the player back on the device, then all goes while it plays.
        devices.removeAudioCallback (&timing);
        devices.addAudioCallback (&main->player);
        main.reset();
        const auto map = juce::XmlDocument::parse (home.getChildFile (".config/DravikLabs/Velorin/midi.map"));
        for (int i = 0; i < MidiMap::numMappings; ++i)
            if (map == nullptr || map->getStringAttribute ("midi-" + juce::String (i)) != learned[i])
                fail ("midi.map: action " + juce::String (i) + " is not \"" + learned[i] + "\"");
        const auto data = juce::XmlDocument::parse (home.getChildFile (".config/DravikLabs/Velorin/data.xml"));
        for (auto* element : data != nullptr ? data->getChildIterator() : juce::XmlElement ("none").getChildIterator())
            if (const auto path = element->getStringAttribute ("name"); expected.count (path) == 0
                  || expected[path] != Points { (float) element->getDoubleAttribute ("cue"), (float) element->getDoubleAttribute ("p1"), (float) element->getDoubleAttribute ("p2") }
                  || ! element->hasAttribute ("cue") || ! element->hasAttribute ("p1") || ! element->hasAttribute ("p2"))
                fail ("data.xml: the element of \"" + path + "\" is unexpected or holds other points");
        if (data == nullptr || data->getNumChildElements() != (int) expected.size())
            fail ("data.xml does not hold one element per file added");

        std::cout << steps << " steps; " << timing.count << " blocks, longest " << ms (timing.longest) << ", " << timing.overTen
                  << " over 10x budget, longest gap " << ms (timing.longestGap) << std::endl;
        if (timing.overTen > std::max<std::int64_t> (2, timing.count / 10000) || timing.longestGap > 50 * budget || timing.errors > 0 || timing.count == 0)
            fail ("blocks over 10x budget, a gap of over 50 blocks, or device errors");
        return failures == 0;
    }
}

int main (int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi (argv[1]) : 180, seed = argc > 2 ? std::atoi (argv[2]) : 1;
    setenv ("DISPLAY", "none", 1);   // no display: the player needs none
    bool passed = false;
    int assertions = 0;
    {
        const testkit::PrivateHome home;
        const juce::ScopedJuceInitialiser_GUI gui;
        const testkit::AssertionCheck check ([&] (const juce::String&) { ++assertions; });
        passed = seconds > 0 && soak (seconds, seed, home.home);
    }
    passed = passed && assertions == 0;
    std::cout << (assertions > 0 ? "FAIL: a JUCE assertion, printed above\n" : "") << (passed ? "PASS" : "FAIL") << std::endl;
    return passed ? 0 : 1;
}
