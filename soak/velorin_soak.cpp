// velorin_soak [seconds = 180] [seed = 1]: the whole player on a JACK dummy device for minutes of seeded user actions on the message thread
// (whose loop runs the timers in between) while another thread sends MIDI. Fails on a JUCE assertion, a device silent for 50 blocks, more than a
// few blocks over 10x their budget, a saved playlist, an entry's points or a learned message that come back otherwise or are not stored so.
#include "TestKit.h"
#include "app/MainComponent.h"
#include "ui/ReplayProcessorEditor.h"
static std::int64_t nanos()   { return std::chrono::steady_clock::now().time_since_epoch().count(); }
struct TimedCallback : juce::AudioIODeviceCallback {   // passes every call on to the player and times each block, allocating and locking nothing
    explicit TimedCallback (juce::AudioIODeviceCallback& p) : player (p) {}
    void audioDeviceIOCallbackWithContext (const float* const* in, int numIn, float* const* out, int numOut, int n, const juce::AudioIODeviceCallbackContext& context) override {
        const auto start = nanos(), previous = lastStart.exchange (start);
        player.audioDeviceIOCallbackWithContext (in, numIn, out, numOut, n, context);
        longestGap = std::max (longestGap.load(), previous > 0 ? start - previous : 0), ++count, overTen += nanos() - start > 10 * (std::int64_t) (n * 1.0e9 / rate) ? 1 : 0;
    }
    void audioDeviceAboutToStart (juce::AudioIODevice* device) override   { rate = device->getCurrentSampleRate(); lastStart = 0; player.audioDeviceAboutToStart (device); }
    void audioDeviceStopped() override                                     { player.audioDeviceStopped(); }
    void audioDeviceError (const juce::String& message) override          { ++errors; player.audioDeviceError (message); }
    juce::AudioIODeviceCallback& player; double rate = 48000.0;
    std::atomic<std::int64_t> count { 0 }, overTen { 0 }, longestGap { 0 }, lastStart { 0 }, errors { 0 };
};
int main (int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi (argv[1]) : 180, seed = argc > 2 ? std::atoi (argv[2]) : 1;
    int failures = seconds > 0 ? 0 : 1, assertions = 0; setenv ("DISPLAY", "none", 1);   // the player needs no display
    const auto fail = [&] (const juce::String& message) { if (++failures < 20) std::cout << "FAIL: " << message << std::endl; };
    {
        const testkit::PrivateHome home; const juce::ScopedJuceInitialiser_GUI gui; const testkit::AssertionCheck check ([&] (const juce::String&) { ++assertions; });
        testkit::JackServer jack; auto app = std::make_unique<MainComponent>(); auto& devices = app->deviceManager;
        auto* device = (devices.setCurrentAudioDeviceType ("JACK", true), devices.getCurrentAudioDevice());   // also with a sound card
        if (! jack.ready || device == nullptr || device->getTypeName() != "JACK") return fail ("no JACK dummy device"), 1;
        const auto budget = (std::int64_t) (device->getCurrentBufferSizeSamples() * 1.0e9 / device->getCurrentSampleRate()); juce::Random rng (seed);
        TimedCallback timing (app->player); devices.removeAudioCallback (&app->player), devices.addAudioCallback (&timing);
        auto& editor = dynamic_cast<ReplayProcessorEditor&> (*app->editor); auto& processor = *app->processor; auto& fx = editor.effects; auto& view = *editor.waveform;
        // WAV and AIFF files of several rates, one that does not open, two whose keys are the same (three two-byte characters), three albums.
        const auto folder = home.home.getChildFile ("audio"); const juce::String etude (juce::CharPointer_UTF8 ("\xc3\x89tude \xc3\xa0 No\xc3\xabl."));
        juce::Array<juce::File> library { folder.getChildFile (etude + "wav"), folder.getChildFile (etude + "bwf") };
        for (int i = 0; i < 23; ++i)
            library.add (folder.getChildFile (i < 14 ? "track-" + juce::String (i) + (i % 3 == 2 ? ".aif" : ".wav") : "album-" + juce::String ((i - 14) / 3 + 1) + "/song-" + juce::String (i % 3) + (i % 3 == 1 ? ".aiff" : ".wav")));
        for (auto& file : library)
            if (const auto rate = std::array { 44100.0, 48000.0, 96000.0 }[(size_t) rng.nextInt (3)]; ! testkit::writeAudio (file, rate, rng.nextInt ({ 1, 3 }), (juce::int64) (rate * (2.0 + 3.0 * rng.nextDouble())), 16, true))
                fail ("could not write " + file.getFileName());
        library.add (folder.getChildFile ("broken.wav")), library.getLast().replaceWithText ("RIFFxxxxWAVEjunk" + juce::String::repeatedString ("x", 999));
        const auto send = [&] (juce::MidiMessage m) { m.setTimeStamp (juce::Time::getMillisecondCounterHiRes() * 0.001); app->player.getMidiMessageCollector().addMessageToQueue (m); };
        std::atomic<bool> stop { false }, quiet { false };   // MIDI from another thread, as an input device sends it; quiet while a message is learned
        std::thread midi ([&, r = juce::Random (seed + 1)] () mutable {
            for (juce::uint8 sysex[80]; ! stop; std::this_thread::sleep_for (std::chrono::milliseconds (r.nextInt ({ 5, 80 })))) {
                std::generate (std::begin (sysex), std::end (sysex), [&] { return (juce::uint8) r.nextInt (128); });
                const auto m = std::array { juce::MidiMessage::noteOn (2, r.nextInt (128), (juce::uint8) r.nextInt ({ 1, 128 })), juce::MidiMessage::pitchWheel (4, r.nextInt (16384)),
                                            juce::MidiMessage::controllerEvent (1, 20 + r.nextInt (32), 127), juce::MidiMessage::createSysExMessage (sysex, 80) }[(size_t) r.nextInt (4)];
                if (! quiet) send (m);
            }
        });
        using Points = std::array<float, 3>; std::map<juce::String, Points> expected; Points scratch {}; juce::String learned[MidiMap::numMappings];   // cue, loop A, loop B last set on each file
        const auto pointsOf = [&] (PlaylistEntry& e) -> Points& { return e.file.getFileName() == "broken.wav" ? scratch : expected[e.getFilePath()]; };
        const auto pump = [&] (int milliseconds) { juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds); }; const auto size = [&] { return processor.playlist.size(); };
        const auto mouse = [] (juce::Component& c, int x, int pressX) { return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), { (float) x, 50.0f }, {}, 0, 0, 0, 0, 0, &c, &c, {}, { (float) pressX, 50.0f }, {}, 1, x != pressX); };
        const auto listed = [&] (auto&& match) { return std::any_of (processor.playlist.begin(), processor.playlist.end(), match); };
        const auto deleteRow = [&] (int row) { editor.playlist->selectRow (row); editor.buttonClicked (editor.deleteButton.get()); };
        juce::Button* const buttons[] = { fx.nextButton.get(), fx.prevButton.get(), fx.playButton.get(), fx.repeatButton.get(), fx.cueButton.get() };
        const std::pair<int, std::function<void()>> ops[] = {   // weight, action
            { 12, [&] { if (auto f = library[rng.nextInt (library.size())]; ! listed ([&] (auto* e) { return e->file == f; })) editor.addFileChosen (f); } },
            { 3, [&] { if (auto album = folder.getChildFile ("album-" + juce::String (rng.nextInt ({ 1, 4 }))); ! listed ([&] (auto* e) { return e->file.isAChildOf (album); })) editor.addPathChosen (album); } },
            { 8, [&] { if (size() > 0) deleteRow (rng.nextInt (size())); } },
            { 1, [&] { editor.buttonClicked (editor.clearButton.get()); } },
            { 1, [&, list = folder.getSiblingFile ("playlist.xml")] {
                    const auto before = (list.deleteFile(), size()); editor.saveChosen (list), editor.buttonClicked (editor.clearButton.get()), editor.loadChosen (list);
                    if (size() != before) fail ("a saved playlist of " + juce::String (before) + " rows loaded " + juce::String (size())); } },
            { 10, [&] { if (size() > 0) rng.nextBool() ? editor.cellClicked (rng.nextInt (size()), 1, mouse (editor, 0, 0)) : processor.selectTrack (rng.nextInt ({ -1, size() + 1 })); } },
            { 8, [&] { if (size() > 0) processor.moveEntryTo (*processor.playlist[rng.nextInt (size())], rng.nextFloat() * 5.0f); } },
            { 6, [&] { const int x = rng.nextInt (view.getWidth()); view.mouseDrag (mouse (view, x, x + (rng.nextBool() ? 30 : -30))); } },
            { 3, [&] { juce::MouseWheelDetails wheel {}; wheel.deltaY = rng.nextBool() ? 0.25f : -0.25f; view.mouseWheelMove (mouse (view, 10, 10), wheel); } },
            { 12, [&] {   // the marker menu's choice; now and then the entry goes while the menu is open
                    if (view.currentTrack == nullptr) return;
                    WaveformView::PopupCallback menu (view.currentTrack, view.timeAtX (rng.nextInt (view.getWidth())));
                    auto& p = pointsOf (*view.currentTrack); const int choice = rng.nextInt (4);
                    if (rng.nextInt (10) == 0) deleteRow (processor.playlist.indexOf (view.currentTrack));
                    else (choice == 0 ? scratch[0] : p[(size_t) choice - 1]) = choice == 3 && menu.time <= p[1] ? p[1] + 1.0f : menu.time;
                    menu.modalStateFinished (choice); } },
            { 8, [&] {   // a point set on an entry
                    if (size() == 0) return;
                    auto& e = *processor.playlist[rng.nextInt (size())];
                    const auto time = (1.2f * rng.nextFloat() - 0.1f) * e.lengthSeconds; const auto which = (size_t) rng.nextInt (3);
                    (which == 0 ? e.cue : which == 1 ? e.loopA : e.loopB) = pointsOf (e)[which] = time; } },
            { 12, [&] { fx.buttonClicked (processor.paused && rng.nextBool() ? fx.playButton.get() : buttons[rng.nextInt (5)]); } },
            { 8, [&] { editor.keyPressed (juce::KeyPress (std::array { juce::KeyPress::spaceKey, juce::KeyPress::F9Key, juce::KeyPress::F10Key }[(size_t) rng.nextInt (3)]), &editor); } },
            { 5, [&] { fx.volSlider->setValue (rng.nextInt ({ -60, 11 }), juce::sendNotificationSync); } },
            { 2, [&] {   // LEARN on, an action's button, its message (once what was sent before has reached the processor), LEARN off
                    const int action = rng.nextInt (MidiMap::numMappings);
                    const auto message = juce::MidiMessage::controllerEvent (1, 20 + 8 * action + rng.nextInt (8), 127);
                    quiet = true, pump (100);
                    fx.midiButton->setToggleState (true, juce::sendNotificationSync), fx.buttonClicked (buttons[action]), send (message);
                    for (int waited = 0; processor.midiMap.learnIndex >= 0 && waited < 1000; waited += 5) pump (5);
                    fx.midiButton->setToggleState (false, juce::sendNotificationSync);
                    const juce::ScopedLock sl (processor.getCallbackLock());   // the block that learned has ended
                    if ((learned[action] = processor.midiMap.getMessage (action)) != MidiMap::messageText (message)) fail ("action " + juce::String (action) + " learned \"" + learned[action] + "\"");
                    quiet = false; } } };
        const int total = std::accumulate (std::begin (ops), std::end (ops), 0, [] (int sum, auto& op) { return sum + op.first; });
        for (const auto start = nanos(); nanos() - start < seconds * (std::int64_t) 1000000000; pump (rng.nextInt ({ 5, 40 }))) {
            int op = 0;
            for (int pick = rng.nextInt (total); pick >= ops[op].first; pick -= ops[op++].first) {}
            ops[op].second();
            for (auto* e : processor.playlist)   // every entry holds the points last set for its file
                if (auto& p = pointsOf (*e); &p != &scratch && p != Points { e->cue, e->loopA, e->loopB })
                    fail ("after operation " + juce::String (op) + " the entry of " + e->getFilePath() + " lost its points"), p = { e->cue, e->loopA, e->loopB };
        }
        stop = true, midi.join(), pump (100);
        if (nanos() - timing.lastStart > 50 * budget) fail ("the device has stopped calling the player");
        // The program's own shutdown: the player back on the device, then all goes while it plays.
        devices.removeAudioCallback (&timing), devices.addAudioCallback (&app->player), app.reset();
        const auto map = juce::XmlDocument::parse (home.dataFolder().getChildFile ("midi.map")), data = juce::XmlDocument::parse (home.dataFolder().getChildFile ("data.xml"));
        for (int i = 0; i < MidiMap::numMappings; ++i)
            if (map == nullptr || map->getStringAttribute ("midi-" + juce::String (i)) != learned[i]) fail ("midi.map: action " + juce::String (i) + " is not \"" + learned[i] + "\"");
        int unopened = 0;   // the file that never opens is stored only once points were set on it
        for (auto* element : data != nullptr ? data->getChildIterator() : juce::XmlElement ("none").getChildIterator())
            if (const auto path = element->getStringAttribute ("name"); path.endsWith ("/broken.wav")) ++unopened;
            else if (expected.count (path) == 0 || ! element->hasAttribute ("cue") || ! element->hasAttribute ("p1") || ! element->hasAttribute ("p2")
                  || expected[path] != Points { (float) element->getDoubleAttribute ("cue"), (float) element->getDoubleAttribute ("p1"), (float) element->getDoubleAttribute ("p2") })
                fail ("data.xml: the element of \"" + path + "\" is unexpected or holds other points");
        if (data == nullptr || data->getNumChildElements() - unopened != (int) expected.size()) fail ("data.xml does not hold one element per file added");
        std::cout << seconds << " s, seed " << seed << ": " << timing.count << " blocks, " << timing.overTen << " over 10x budget, longest gap " << timing.longestGap / 1000 << " us" << std::endl;
        if (timing.overTen > std::max<std::int64_t> (2, timing.count / 10000) || timing.longestGap > 50 * budget || timing.errors > 0 || timing.count == 0)
            fail ("blocks over 10x budget, a gap of over 50 blocks, or device errors");
    }
    std::cout << (assertions > 0 ? "FAIL: a JUCE assertion, printed above\n" : "") << (failures + assertions == 0 ? "PASS" : "FAIL") << std::endl;
    return failures + assertions == 0 ? 0 : 1;
}
