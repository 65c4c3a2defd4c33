#include "app/AudioSetupPage.h"

AudioSetupPage::AudioSetupPage (juce::AudioDeviceManager& manager)
    : deviceManager (manager)
{
    selector = std::make_unique<juce::AudioDeviceSelectorComponent> (deviceManager, 0, 32, 0, 32,
                                                                      true, true, true, true);
    addAndMakeVisible (*selector);
    setSize (600, 400);
}

AudioSetupPage::~AudioSetupPage()
{
    selector = nullptr;
}

void AudioSetupPage::resized()
{
    selector->setBounds (8, 8, getWidth() - 16, getHeight() - 16);
}
