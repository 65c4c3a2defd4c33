#pragma once

#include <juce_audio_utils/juce_audio_utils.h>

/** The "Audio Setup" tab: the framework's device selector on the shared device manager. */
class AudioSetupPage : public juce::Component
{
public:
    explicit AudioSetupPage (juce::AudioDeviceManager& deviceManager);
    ~AudioSetupPage() override;

    void resized() override;

    juce::AudioDeviceManager& deviceManager;
    std::unique_ptr<juce::AudioDeviceSelectorComponent> selector;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AudioSetupPage)
};
