#pragma once

#include <juce_audio_utils/juce_audio_utils.h>

/** The "Audio Setup" tab: the framework's device selector on the shared device manager,
    under the reason no output could be opened, while none is open. */
class AudioSetupPage : public juce::Component,
                       private juce::ChangeListener
{
public:
    AudioSetupPage (juce::AudioDeviceManager& deviceManager, const juce::String& problem = {});
    ~AudioSetupPage() override;

    void resized() override;

    juce::AudioDeviceManager& deviceManager;
    std::unique_ptr<juce::Label> problemLabel;
    std::unique_ptr<juce::AudioDeviceSelectorComponent> selector;

private:
    /** Hides the problem once the user has opened a device. */
    void changeListenerCallback (juce::ChangeBroadcaster*) override;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AudioSetupPage)
};
