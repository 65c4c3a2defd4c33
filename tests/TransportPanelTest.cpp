#include "VelorinTest.h"
#include "ui/EffectsComponent.h"

// The transport panel: time format, layout, volume law, the buttons and their learn targets, the
// read-out, the toggles and the MIDI light, recorded after each step.

class TransportPanelTest : public ProcessorTest
{
protected:
    void click (juce::Button* button, const juce::String& what)
    {
        if (dynamic_cast<juce::ToggleButton*> (button) != nullptr) button->setToggleState (! button->getToggleState(), juce::sendNotificationSync);   // flips, then clicked
        else if (button != nullptr) panel.buttonClicked (button);
        panel.refresh();
        note (what, state() + " | learn target " + juce::String (processor->midiMap.learnIndex.load()) + (processor->midiMap.learning ? " learning" : "")
                        + " | shown at " + (panel.currentTrack != nullptr ? juce::String (panel.currentTrack->position.load()) : "-") + " | toggles "
                        + juce::String ((int) panel.playButton->getToggleState()) + juce::String ((int) panel.repeatButton->getToggleState()) + juce::String ((int) panel.midiButton->getToggleState())
                        + " | light " + panel.midiLabel->findColour (juce::Label::textColourId).toDisplayString (true) + " | " + panel.playInfoLabel->getText().replace ("\n", ", "));
    }

    EffectsComponent panel { processor.get() };
};

TEST_F (TransportPanelTest, FormatLayoutAndVolume)
{
    for (auto seconds : { 0.0, 65.25, -65.25, 3725.5, 6000.0, -0.0, 59.9996, 0.0004, -0.0004, 0.0015, 119.9999,
                          std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity() })
        note ("formatTime (" + juce::String (seconds, 4) + ")", formatTime (seconds));
    for (auto [w, h] : { std::pair (640, 96), { 784, 80 }, { 784, 81 } })
        for (auto* child : (panel.setSize (w, h), panel.getChildren()))
            note (child->getName(), seen (*child));
    EXPECT_TRUE (panel.volLabel->getText() == "VOL" && ! panel.volLabel->isEditable() && panel.volSlider->getSliderStyle() == juce::Slider::Rotary);
    EXPECT_TRUE (panel.volLabel->getFont().getTypefaceName() == "Calibri" || panel.volLabel->getFont().getTypefaceName() == "Carlito");
    note ("volume knob", juce::String (panel.volSlider->getMinimum()) + " to " + juce::String (panel.volSlider->getMaximum()) + " at " + juce::String (panel.volSlider->getValue()) + ", " + panel.volSlider->getTextFromValue (-6.0));
    for (auto decibels : { 0.0, 9.0, -6.0, -60.0, 10.0 })   // exactly 3 at the top
        panel.volSlider->setValue (decibels, juce::sendNotificationSync), note (juce::String (decibels) + " dB", juce::String (processor->volume.load(), 6));
    juce::Image image (juce::Image::ARGB, 784, 80, true);
    juce::Graphics g (image);   // its background, under the buttons
    panel.paint (g);
    EXPECT_EQ (image.getPixelAt (300, 2), juce::Colour (0xff102030));
}

TEST_F (TransportPanelTest, ButtonsReadOutAndLight)
{
    for (auto name : { "a.wav", "b.wav", "c.wav" })
        add (name, 65.25 / (name[0] == 'a' ? 1 : 60));
    processor->selectTrack (0), click (panel.cueButton.get(), "CUE with nothing shown");
    click (panel.nextButton.get(), ">>");   // LEARN off: the work, and learning pointed at row 0
    click (panel.midiButton.get(), "LEARN on");
    for (juce::Button* button : std::initializer_list<juce::Button*> { panel.nextButton.get(), panel.prevButton.get(), panel.playButton.get(), panel.repeatButton.get(), panel.cueButton.get() })
        click (button, button->getButtonText() + button->getName() + " while learning");   // each its own action; CUE none
    click (panel.midiButton.get(), "LEARN off");
    processor->selectTrack (0), processor->paused = false, click (panel.prevButton.get(), "<< on the first");
    auto& entry = *processor->playlist[0];
    entry.cue = 1.5f, entry.loopA = 2.0f, entry.loopB = 2.5f, entry.position = 3725.5f, panel.currentTrack = &entry, processor->loopEnabled = false;
    click (panel.midiButton.get(), "LEARN on, an entry shown");
    processor->midiActivity = true, click (nullptr, "MIDI activity while learning");   // shown once
    panel.setSize (784, 80);
    EXPECT_TRUE (matchesReference (panel.createComponentSnapshot (panel.getLocalBounds()), "transport-panel.png"));
    click (panel.midiButton.get(), "LEARN off");
    processor->midiActivity = true, click (nullptr, "MIDI activity");
    panel.currentTrack = nullptr, click (panel.cueButton.get(), "CUE with nothing shown");   // the last text stays
    panel.currentTrack = &entry, click (panel.cueButton.get(), "CUE, unloaded: its position only");
    processor->paused = false, render ("playing"), click (panel.cueButton.get(), "CUE while playing"), render ("after CUE");
}
