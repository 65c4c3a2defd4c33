#include "app/AudioSetupPage.h"

AudioSetupPage::AudioSetupPage (juce::AudioDeviceManager& manager, const juce::String& problem)
    : deviceManager (manager)
{
    problemLabel = std::make_unique<juce::Label> ("problemLabel", problem);
    problemLabel->setColour (juce::Label::textColourId, juce::Colour (0xffff4040));
    problemLabel->setJustificationType (juce::Justification::topLeft);
    addChildComponent (*problemLabel);
    problemLabel->setVisible (problem.isNotEmpty());

    deviceManager.addChangeListener (this);
    setSize (600, 400);
}

AudioSetupPage::~AudioSetupPage()
{
    deviceManager.removeChangeListener (this);
    selector = nullptr;
}

void AudioSetupPage::changeListenerCallback (juce::ChangeBroadcaster*)
{
    if (problemLabel->isVisible() && deviceManager.getCurrentAudioDevice() != nullptr)
    {
        problemLabel->setVisible (false);
        resized();
    }
}

void AudioSetupPage::resized()
{
    auto area = getLocalBounds().reduced (8);

    if (problemLabel->isVisible())
        problemLabel->setBounds (area.removeFromTop (48));

    if (selector != nullptr)
        selector->setBounds (area);
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
        selector = std::make_unique<juce::AudioDeviceSelectorComponent> (deviceManager, 0, 32, 0, 32, true, true, true,
                                                                         true);
        addAndMakeVisible (*selector);
        resized();
    }
}
