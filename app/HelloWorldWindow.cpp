#include "app/HelloWorldWindow.h"
#include "app/MainComponent.h"

HelloWorldWindow::HelloWorldWindow()
    : juce::DocumentWindow ("Velorin", juce::Colours::lightgrey, juce::DocumentWindow::allButtons, true)
{
    setUsingNativeTitleBar (true);
    setContentOwned (new MainComponent(), true);
    centreWithSize (getWidth(), getHeight());
    setVisible (true);
}

HelloWorldWindow::~HelloWorldWindow() = default;

void HelloWorldWindow::closeButtonPressed()
{
    juce::JUCEApplicationBase::quit();
}
