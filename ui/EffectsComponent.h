#pragma once

#include "engine/ReplayProcessor.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** A time as the read-out shows it: an optional "-", then minutes, seconds and
    milliseconds, zero-padded to 2, 2 and 3 digits and joined by ":" ("01:05:250"). */
juce::String formatTime (double seconds);

/** The transport panel: volume knob, ">>", "<<", PLAY, LOOP, CUE, the time read-out,
    the MIDI light and the LEARN toggle. It drives the processor it is given and shows
    the entry the editor hands it in `currentTrack`. */
class EffectsComponent : public juce::Component,
                         public juce::Slider::Listener,
                         public juce::Button::Listener
{
public:
    explicit EffectsComponent (ReplayProcessor* processor);
    ~EffectsComponent() override;

    /** Brings the read-out, the toggles and the MIDI light up to date. */
    void refresh();

    void paint (juce::Graphics&) override;
    void resized() override;
    void sliderValueChanged (juce::Slider*) override;
    void buttonClicked (juce::Button*) override;

    ReplayProcessor* processor;
    PlaylistEntry* currentTrack = nullptr;

    std::unique_ptr<juce::Slider> volSlider;
    std::unique_ptr<juce::Label> volLabel;
    std::unique_ptr<juce::Label> playInfoLabel;
    std::unique_ptr<juce::TextButton> nextButton;
    std::unique_ptr<juce::TextButton> prevButton;
    std::unique_ptr<juce::ToggleButton> playButton;
    std::unique_ptr<juce::ToggleButton> repeatButton;
    std::unique_ptr<juce::TextButton> cueButton;
    std::unique_ptr<juce::Label> midiLabel;
    std::unique_ptr<juce::ToggleButton> midiButton;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (EffectsComponent)
};
