#pragma once

#include "engine/ReplayProcessor.h"
#include "ui/DravikLightLookAndFeel.h"

#include <juce_audio_utils/juce_audio_utils.h>

/** The window's content and the player's host: the audio device, the processor player
    that runs the engine on the audio thread, the engine and its editor in the "Velorin"
    tab, the "Audio Setup" tab, and a resize corner. Deleting it stops the audio and lets
    the editor and the engine write their data files. */
class MainComponent : public juce::Component
{
public:
    MainComponent();
    ~MainComponent() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    /** Writes the editor's settings, then data.xml and midi.map, as deleting this would,
        but leaves everything running; deleting it afterwards writes them no more. */
    void writeDataFiles();

    /** Opens the default device with two inputs and two outputs, else (where the capture
        side can't open, or not at the output's rate) for output only. Returns what to tell
        the user when no output opened at all, else an empty string. */
    static juce::String openAudioDevice (juce::AudioDeviceManager& deviceManager);

    DravikLightLookAndFeel lookAndFeel;
    juce::ComponentBoundsConstrainer constrainer;
    std::unique_ptr<juce::ResizableCornerComponent> resizer;
    std::unique_ptr<juce::AudioProcessorEditor> editor;
    std::unique_ptr<ReplayProcessor> processor;
    juce::AudioDeviceManager deviceManager;
    juce::AudioProcessorPlayer player;
    std::unique_ptr<juce::TabbedComponent> tabs;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainComponent)
};
