// velorin_soak [seconds = 60] [seed = 1]: the whole player on a JACK dummy device, driven by seeded user actions on
// the message thread (whose loop runs the timers in between) while another thread sends MIDI that is learned and
// matched. It fails when the device does not call back for a quarter of a second (some 50 blocks), when nothing was
// learned or no points were set, and when the next run does not read back the points last set on each file or the
// messages learned (scripts/soak.sh also fails it on a JUCE assertion or leak report).
#include "TestKit.h"
#include "app/MainComponent.h"
#include "ui/ReplayProcessorEditor.h"

static double now()
{
    return juce::Time::getMillisecondCounterHiRes();
}

// The device's second callback, run after the player's: notes the longest time between two blocks.
struct BlockWatch : juce::AudioIODeviceCallback
{
    void audioDeviceIOCallbackWithContext (const float* const*, int, float* const* out, int numOut, int n,
                                           const juce::AudioIODeviceCallbackContext&) override
    {
        juce::AudioBuffer<float> (out, numOut, n).clear();
        longestGap = std::max (longestGap.load(), now() - last);
        last = now();
    }

    void audioDeviceAboutToStart (juce::AudioIODevice*) override
    {
        last = now();
    }

    void audioDeviceStopped() override {}

    std::atomic<double> last { 0.0 };
    std::atomic<double> longestGap { 0.0 };
};

// The messages of the learnable actions, in order.
static juce::StringArray learnedMessages (const ReplayProcessor& processor)
{
    juce::StringArray messages;

    for (int i = 0; i < MidiMap::numMappings; ++i)
        messages.add (processor.midiMap.getMessage (i));

    return messages;
}

int main (int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi (argv[1]) : 60;
    juce::Random rng (argc > 2 ? std::atoi (argv[2]) : 1);
    setenv ("DISPLAY", "none", 1);   // no X server: JUCE would try ":0.0", which may be another program's
    const testkit::PrivateHome home;
    const juce::ScopedJuceInitialiser_GUI gui;
    const testkit::AssertionCheck check;
    const testkit::JackServer jack;
    BlockWatch watch;
    auto app = std::make_unique<MainComponent>();
    app->deviceManager.setCurrentAudioDeviceType ("JACK", true);   // also where there is a sound card
    app->deviceManager.addAudioCallback (&watch);
    auto& editor = dynamic_cast<ReplayProcessorEditor&> (*app->editor);
    auto& processor = *app->processor;

    // Mono and stereo WAV and AIFF files of several rates, and a file that does not open.
    const auto folder = home.home.getChildFile ("audio");

    for (int i = 0; i < 4; ++i)
        testkit::writeAudio (folder.getChildFile (i == 0 ? "0.aif" : juce::String (i) + ".wav"), 44100.0 + 4000.0 * i,
                             1 + i % 2, 100000);

    folder.getChildFile ("broken.wav").replaceWithText ("RIFFxxxxWAVEjunk");
    const auto files = folder.findChildFiles (juce::File::findFiles, false);

    std::atomic<bool> stop { false };
    std::thread midi ([&]   // controllers from another thread, as an input device sends them
    {
        for (int number = 0; ! stop; ++number)
        {
            app->player.handleIncomingMidiMessage (nullptr, juce::MidiMessage (0xb0, number % 8, 127, now() / 1000));
            juce::Thread::sleep (20);
        }
    });

    using Points = std::array<float, 3>;
    std::map<juce::String, Points> setPoints;   // by path: the cue and loop points last set on each file
    const auto pointsOf = [] (const PlaylistEntry& e) { return Points { e.cue, e.loopA, e.loopB }; };
    const auto end = now() + seconds * 1000.0;

    while (now() < end)
    {
        const int row = rng.nextInt (processor.playlist.size() + 2) - 1;   // a row, or -1 or one past the end
        auto* control = editor.effects.getChildComponent (rng.nextInt (editor.effects.getNumChildComponents()));

        switch (rng.nextInt (5))
        {
            case 0:
                editor.addFileChosen (files[rng.nextInt (files.size())]);
                break;
            case 1:   // a row clicked, or none
                editor.playlist->selectRow (row);
                processor.selectTrack (row);
                break;
            case 2:   // the selected row deleted, or all
                editor.buttonClicked (rng.nextInt (5) == 0 ? editor.clearButton.get() : editor.deleteButton.get());
                break;
            case 3:   // ">>", "<<", PLAY, LOOP, CUE or LEARN
                if (auto* button = dynamic_cast<juce::Button*> (control))
                    button->triggerClick();
                break;
            default:   // the marker menu's choice, at a time in or about the file
                if (auto* entry = processor.playlist[row])
                {
                    WaveformView::PopupCallback menu (entry, 5.0f * rng.nextFloat() - 1.0f);
                    menu.modalStateFinished (rng.nextInt (4));

                    if (entry->hasOpened())
                        setPoints[entry->getFilePath()] = pointsOf (*entry);
                }
                break;
        }

        juce::MessageManager::getInstance()->runDispatchLoopUntil (rng.nextInt ({ 5, 40 }));
    }

    stop = true;
    midi.join();
    juce::Thread::sleep (100);   // the last messages reach a block
    juce::StringArray failures;

    if (std::max (watch.longestGap.load(), now() - watch.last) > 250.0)
        failures.add ("the device did not call back for a quarter of a second");

    const auto learned = learnedMessages (processor);

    if (learned.joinIntoString ("").isEmpty() || setPoints.empty())
        failures.add ("no message was learned or no points were set: a longer run is needed");

    app.reset();   // the program's own shutdown, while it plays, writes the data files
    ReplayProcessor next;   // which the next run reads

    if (learnedMessages (next) != learned)
        failures.add ("midi.map did not keep the messages learned: " + learned.joinIntoString (", "));

    for (const auto& [path, points] : setPoints)
    {
        next.addFile (path);

        if (pointsOf (*next.playlist.getLast()) != points)
            failures.add ("data.xml did not keep the points of " + path);
    }

    std::cout << failures.joinIntoString ("\n") << (failures.isEmpty() ? "PASS" : "\nFAIL") << std::endl;
    return failures.isEmpty() ? 0 : 1;
}
