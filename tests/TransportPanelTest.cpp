#include "VelorinTest.h"
#include "ui/EffectsComponent.h"

using namespace juce;

// The transport panel as the user meets it: the time format, the volume law, what each button does and
// which action it points learning at, the read-out and the MIDI light; recorded after each step.

class TransportPanelTest : public ProcessorTest
{
protected:
    void press (Button* button, const String& what)
    {
        panel.buttonClicked (button);
        panel.refresh();
        note (what, state() + " | learn " + String (processor->midiMap.learnIndex.load())
                        + (processor->midiMap.learning ? " on" : " off") + " | light "
                        + panel.midiLabel->findColour (Label::textColourId).toDisplayString (false) + " | "
                        + panel.playInfoLabel->getText().replace ("\n", ", "));
    }

    EffectsComponent panel { processor.get() };
};

TEST_F (TransportPanelTest, TheKnobSetsTheGainFromDecibelsUpToThree)
{
    for (auto decibels : { 0.0, -6.0, -60.0, 10.0 })
    {
        panel.volSlider->setValue (decibels, sendNotificationSync);
        note (String (decibels) + " dB", String (processor->volume.load(), 6));
    }
}

TEST_F (TransportPanelTest, ButtonsActAndTheReadOutAndLightShowIt)
{
    auto& entry = add ("a.wav", 65.25);
    add ("b.wav");
    processor->selectTrack (0);
    panel.midiButton->setToggleState (true, dontSendNotification);
    press (panel.midiButton.get(), "LEARN on");
    press (panel.nextButton.get(), ">>");
    press (panel.prevButton.get(), "<<");
    press (panel.playButton.get(), "PLAY");
    press (panel.repeatButton.get(), "LOOP");
    press (panel.cueButton.get(), "CUE with nothing shown");
    processor->midiActivity = true;
    press (nullptr, "MIDI seen while learning");
    panel.midiButton->setToggleState (false, dontSendNotification);
    press (panel.midiButton.get(), "LEARN off");
    processor->midiActivity = true;
    press (nullptr, "MIDI seen");

    entry.cue = 59.9996f;   // rounded to whole milliseconds: 01:00:000, not 00:59:1000
    entry.loopA = 2.0f;
    entry.position = 3725.5f;
    panel.currentTrack = &entry;
    press (nullptr, "a.wav shown");
    EXPECT_TRUE (matchesReference (panel.createComponentSnapshot (panel.getLocalBounds()), "transport-panel.png"));
    press (panel.cueButton.get(), "CUE, not loaded");
    render ("played");
    press (panel.cueButton.get(), "CUE while playing");
    render ("played");
}
