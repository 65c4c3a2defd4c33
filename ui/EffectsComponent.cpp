#include "ui/EffectsComponent.h"
#include "ui/DravikLightLookAndFeel.h"

#include <cmath>

using namespace juce;

String formatTime (double seconds)
{
    if (! std::isfinite (seconds))
        return "00:00:000";

    // Rounded to whole milliseconds first, so 59.9996 s reads 01:00:000 rather than 00:59:000.
    const auto totalMillis = (int64) std::nearbyint (jmin (std::abs (seconds) * 1000.0, 9.0e15));
    const auto minutes = totalMillis / 60000;
    const auto secs = (totalMillis / 1000) % 60;
    const auto millis = totalMillis % 1000;

    return String (seconds < 0.0 && totalMillis > 0 ? "-" : "") + String (minutes).paddedLeft ('0', 2) + ":"
         + String (secs).paddedLeft ('0', 2) + ":" + String (millis).paddedLeft ('0', 3);
}

namespace
{
    void makeReadOnly (Label& label)
    {
        label.setEditable (false, false, false);
    }
}

EffectsComponent::EffectsComponent (ReplayProcessor* p)
    : processor (p)
{
    volSlider = std::make_unique<Slider> ("volSlider");
    addAndMakeVisible (*volSlider);
    volSlider->setRange (-60.0, 10.0, 1.0);
    volSlider->setSliderStyle (Slider::Rotary);
    volSlider->setTextBoxStyle (Slider::TextBoxBelow, true, 80, 10);
    volSlider->setColour (Slider::rotarySliderFillColourId, Colour (0xff808080));
    volSlider->setColour (Slider::rotarySliderOutlineColourId, Colour (0xfff7931d));
    volSlider->setColour (Slider::textBoxTextColourId, Colour (0xff5f9ea0));
    volSlider->setColour (Slider::textBoxBackgroundColourId, Colour (0xff161616));
    volSlider->setColour (Slider::textBoxOutlineColourId, Colour (0xfff7931d));
    volSlider->addListener (this);

    volLabel = std::make_unique<Label> ("new label", TRANS ("VOL"));
    addAndMakeVisible (*volLabel);
    volLabel->setFont (Font (DravikLightLookAndFeel::getSansSerifTypefaceName(), 15.0f, Font::plain));
    volLabel->setJustificationType (Justification::centred);
    makeReadOnly (*volLabel);
    volLabel->setColour (Label::textColourId, Colour (0xff808080));
    volLabel->setColour (TextEditor::textColourId, Colour (0xff000000));
    volLabel->setColour (TextEditor::backgroundColourId, Colour (0x00000000));

    playInfoLabel = std::make_unique<Label> ("playInfoLabel", String());
    addAndMakeVisible (*playInfoLabel);
    playInfoLabel->setFont (Font (Font::getDefaultMonospacedFontName(), 10.0f, Font::plain));
    playInfoLabel->setJustificationType (Justification::centredLeft);
    makeReadOnly (*playInfoLabel);
    playInfoLabel->setColour (Label::textColourId, Colour (0xff7fff00));
    playInfoLabel->setColour (Label::outlineColourId, Colour (0xff808080));
    playInfoLabel->setColour (TextEditor::textColourId, Colour (0xff000000));
    playInfoLabel->setColour (TextEditor::backgroundColourId, Colour (0x00000000));

    nextButton = std::make_unique<TextButton> ("nextButton");
    addAndMakeVisible (*nextButton);
    nextButton->setButtonText (TRANS (">>"));
    nextButton->setConnectedEdges (Button::ConnectedOnBottom);
    nextButton->addListener (this);

    prevButton = std::make_unique<TextButton> ("new button");
    addAndMakeVisible (*prevButton);
    prevButton->setButtonText (TRANS ("<<"));
    prevButton->setConnectedEdges (Button::ConnectedOnTop);
    prevButton->addListener (this);

    playButton = std::make_unique<ToggleButton> ("playButton");
    addAndMakeVisible (*playButton);
    playButton->setTooltip (TRANS ("Shortcut: Space"));
    playButton->setButtonText (TRANS ("PLAY"));
    playButton->addListener (this);

    repeatButton = std::make_unique<ToggleButton> ("repeatButton");
    addAndMakeVisible (*repeatButton);
    repeatButton->setTooltip (TRANS ("Right-click on the waveform to set loop points. "
                                     "Press this button or F9 on the keyboard to toggle."));
    repeatButton->setButtonText (TRANS ("LOOP"));
    repeatButton->addListener (this);

    cueButton = std::make_unique<TextButton> ("cueButton");
    addAndMakeVisible (*cueButton);
    cueButton->setTooltip (TRANS ("Right-click on the waveform to set CUE point. "
                                  "Press this button or F10 on the keyboard to jump to the CUE point."));
    cueButton->setButtonText (TRANS ("CUE"));
    cueButton->addListener (this);

    midiLabel = std::make_unique<Label> ("midiLabel", TRANS ("MIDI"));
    addAndMakeVisible (*midiLabel);
    midiLabel->setFont (Font (Font::getDefaultMonospacedFontName(), 10.0f, Font::plain));
    midiLabel->setJustificationType (Justification::centred);
    makeReadOnly (*midiLabel);
    midiLabel->setColour (Label::textColourId, Colour (0xff808080));
    midiLabel->setColour (TextEditor::textColourId, Colour (0xff000000));
    midiLabel->setColour (TextEditor::backgroundColourId, Colour (0x00000000));

    midiButton = std::make_unique<ToggleButton> ("midiButton");
    addAndMakeVisible (*midiButton);
    midiButton->setButtonText (TRANS ("LEARN"));
    midiButton->addListener (this);

    setSize (640, 96);
    volSlider->setTextValueSuffix (" dB");
}

EffectsComponent::~EffectsComponent()
{
    volSlider = nullptr;
    volLabel = nullptr;
    playInfoLabel = nullptr;
    nextButton = nullptr;
    prevButton = nullptr;
    playButton = nullptr;
    repeatButton = nullptr;
    cueButton = nullptr;
    midiLabel = nullptr;
    midiButton = nullptr;
}

void EffectsComponent::paint (Graphics& g)
{
    g.fillAll (Colour (0xff102030));
}

void EffectsComponent::resized()
{
    const int w = getWidth();
    const int hh = getHeight() / 2;

    volSlider->setBounds (w - 60, hh - 24, 48, 60);
    volLabel->setBounds (w - 60, hh - 36, 48, 8);
    playInfoLabel->setBounds (w / 2 - 48, hh - 30, 96, 60);
    nextButton->setBounds (8, hh - 30, 60, 30);
    prevButton->setBounds (8, hh, 60, 30);
    playButton->setBounds (72, hh - 30, 60, 60);
    repeatButton->setBounds (136, hh - 30, 60, 60);
    cueButton->setBounds (204, hh - 30, 60, 60);
    midiLabel->setBounds (w - 128, hh - 12, 60, 12);
    midiButton->setBounds (w - 128, hh, 60, 24);
}

void EffectsComponent::sliderValueChanged (Slider* slider)
{
    if (slider != volSlider.get())
        return;

    const auto decibels = (float) volSlider->getValue();
    const auto gain = decibels > -100.0f ? (float) std::pow (10.0, (double) (decibels * 0.05f)) : 0.0f;
    processor->volume = jlimit (0.0f, 3.0f, gain);
}

void EffectsComponent::buttonClicked (Button* button)
{
    int learnTarget = -1;

    if (button == nextButton.get())
    {
        processor->stepTrack (1);
        learnTarget = 0;
    }
    else if (button == prevButton.get())
    {
        processor->stepTrack (-1);
        learnTarget = 1;
    }
    else if (button == playButton.get())
    {
        ReplayProcessor::flip (processor->paused);
        learnTarget = 2;
    }
    else if (button == repeatButton.get())
    {
        ReplayProcessor::flip (processor->loopEnabled);
        learnTarget = 3;
    }
    else if (button == cueButton.get())
    {
        if (currentTrack != nullptr)
            processor->moveEntryTo (*currentTrack, currentTrack->cue);
    }
    else if (button == midiButton.get())
    {
        processor->midiMap.learning = midiButton->getToggleState();
    }

    if (learnTarget >= 0)
        processor->midiMap.selectLearnTarget (learnTarget);
}

void EffectsComponent::refresh()
{
    if (currentTrack != nullptr)
    {
        const auto position = processor->getEntryPositionSeconds (*currentTrack);

        playInfoLabel->setText ("POS: " + formatTime (position)
                                    + "\nLEN: " + formatTime (currentTrack->lengthSeconds.load()) + "\nCUE: "
                                    + formatTime (currentTrack->cue) + "\n  A: " + formatTime (currentTrack->loopA)
                                    + "\n  B: " + formatTime (currentTrack->loopB),
                                dontSendNotification);
    }

    playButton->setToggleState (! processor->paused, dontSendNotification);
    repeatButton->setToggleState (processor->loopEnabled, dontSendNotification);

    const bool learn = midiButton->getToggleState();
    const bool activity = processor->midiActivity.exchange (false);

    const uint32 colours[2][2] = { { 0xff808080, 0xff7fff00 },     // LEARN off: quiet, MIDI seen
                                   { 0xff8b0000, 0xffff0000 } };   // LEARN on
    midiLabel->setColour (Label::textColourId, Colour (colours[learn ? 1 : 0][activity ? 1 : 0]));
}
