// velorin_soak seconds seed (scripts/soak.sh passes both): the whole player on a JACK dummy device, driven by seeded
// user actions on the message thread (whose loop runs the timers in between) while another thread sends MIDI that is
// learned and matched. It fails when the device does not call back for a quarter of a second (some 50 blocks), and
// when the next run does not read back the points of the files listed or the messages learned (scripts/soak.sh also
// fails it on a JUCE assertion or leak report).
#include "TestKit.h"
#include "app/MainComponent.h"
#include "ui/ReplayProcessorEditor.h"

static double now()
{
    return juce::Time::getMillisecondCounterHiRes();
}

// The device's second callback, run after the player's: notes when the last block came.
struct BlockWatch : juce::AudioIODeviceCallback
{
    void audioDeviceIOCallbackWithContext (const float* const*, int, float* const* out, int numOut, int n,
                                           const juce::AudioIODeviceCallbackContext&) override
    {
        juce::AudioBuffer<float> (out, numOut, n).clear();
        last = now();
    }

    void audioDeviceAboutToStart (juce::AudioIODevice*) override { last = now(); }

    void audioDeviceStopped() override {}

    std::atomic<double> last { 0.0 };
};

int main (int argc, char** argv)
{
    if (argc != 3)
    {
        std::cerr << "usage: velorin_soak SECONDS SEED" << std::endl;
        return 2;
    }

    const auto end = now() + 1000.0 * std::atoi (argv[1]);
    juce::Random rng (std::atoi (argv[2]));
    setenv ("DISPLAY", "none", 1);   // no X server: JUCE would try ":0.0", which may be another program's
    const testkit::PrivateHome home;
    const juce::ScopedJuceInitialiser_GUI gui;
    const testkit::AssertionCheck check;
    const testkit::JackServer jack;
    BlockWatch watch;
    MainComponent app;
    app.deviceManager.setCurrentAudioDeviceType ("JACK", true);   // also where there is a sound card
    app.deviceManager.addAudioCallback (&watch);
    auto& editor = dynamic_cast<ReplayProcessorEditor&> (*app.editor);
    auto& processor = *app.processor;

    // A mono WAV file, a stereo AIFF file of another rate, and a file that does not open.
    const juce::File files[] = { home.home.getChildFile ("mono.wav"), home.home.getChildFile ("stereo.aif"),
                                 home.home.getChildFile ("broken.wav") };
    testkit::writeAudio (files[0], 44100.0, 1, 100000);
    testkit::writeAudio (files[1], 48000.0, 2, 100000);
    files[2].replaceWithText ("RIFFxxxxWAVEjunk");

    // Controllers from another thread, as an input device sends them; the thread also watches the device.
    std::atomic<bool> stop { false };
    std::atomic<bool> stalled { false };
    auto sendMidi = [&]
    {
        for (int number = 0; ! stop; ++number)
        {
            app.player.handleIncomingMidiMessage (nullptr, juce::MidiMessage (0xb0, number % 8, 127, now() / 1000));

            if (now() - watch.last > 250.0)
                stalled = true;

            juce::Thread::sleep (20);
        }
    };
    std::thread midi (sendMidi);

    using Points = std::array<float, 3>;
    std::map<juce::String, Points> setPoints;   // by path: the cue and loop points last set on each file opened
    const auto pointsOf = [] (const PlaylistEntry& e) { return Points { e.cue, e.loopA, e.loopB }; };

    while (now() < end)
    {
        editor.addFileChosen (files[rng.nextInt (3)]);

        const int row = rng.nextInt (processor.playlist.size() + 2) - 1;   // a row clicked, or -1 or one past the end
        editor.playlist->selectRow (row);
        processor.selectTrack (row);

        // The marker menu's choice (none, cue, A or B) at a time in or about the file.
        WaveformView::PopupCallback menu (processor.playlist[row], 5.0f * rng.nextFloat() - 1.0f);
        menu.modalStateFinished (rng.nextInt (4));

        // ">>", "<<", PLAY, LOOP, CUE or LEARN, among the panel's other controls.
        auto* control = editor.effects.getChildComponent (rng.nextInt (editor.effects.getNumChildComponents()));

        if (auto* button = dynamic_cast<juce::Button*> (control))
            button->triggerClick();

        juce::MessageManager::getInstance()->runDispatchLoopUntil (20);

        // The entry clicked has opened by now, unless it never will.
        if (auto* entry = processor.playlist[row]; entry != nullptr && entry->hasOpened())
            setPoints[entry->getFilePath()] = pointsOf (*entry);

        // The selected row deleted, now and then all rows.
        if (rng.nextInt (3) == 0)
            editor.buttonClicked (rng.nextInt (5) == 0 ? editor.clearButton.get() : editor.deleteButton.get());
    }

    stop = true;
    midi.join();
    juce::Thread::sleep (100);   // the last messages reach a block
    app.writeDataFiles();        // the program's own end-of-run save, made while it plays
    ReplayProcessor next;        // which the next run reads
    juce::StringArray failures;

    if (stalled)
        failures.add ("the device did not call back for a quarter of a second");

    for (int i = 0; i < MidiMap::numMappings; ++i)
        if (next.midiMap.getMessage (i) != processor.midiMap.getMessage (i))
            failures.add ("midi.map did not keep the message learned for action " + juce::String (i));

    for (const auto& [path, points] : setPoints)
    {
        next.addFile (path);

        if (pointsOf (*next.playlist.getLast()) != points)
            failures.add ("data.xml did not keep the points last set on " + path);
    }

    std::cout << failures.joinIntoString ("\n") << std::endl;
    return failures.size();
}
