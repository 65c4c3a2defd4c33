#include "app/AudioSetupPage.h"

AudioSetupPage::AudioSetupPage (juce::AudioDeviceManager& manager)
    : deviceManager (manager)
{
    setSize (600, 400);
}

AudioSetupPage::~AudioSetupPage()
{
    selector = nullptr;
}

void AudioSetupPage::resized()
{
    if (selector != nullptr)
        selector->setBounds (8, 8, getWidth() - 16, getHeight() - 16);
}

void AudioSetupPage::visibilityChanged()
{
    if (! isVisible())
    {
        selector = nullptr;
        return;
    }

    if (selector == nullptr)
    {
        // Built from the device manager each time, so it shows the devices as they are now.
        selector = std::make_unique<juce::AudioDeviceSelectorComponent> (deviceManager, 0, 32, 0, 32,
                                                                         true, true, true, true);
        addAndMakeVisible (*selector);
        resized();
    }
}
