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

HelloWorldWindow::~HelloWorldWindow()
{
    // Deleting the content resets the default look-and-feel, which the framework announces
    // to every window on the desktop. Announced from ~ResizableWindow, once this is no
    // longer a DocumentWindow, it would make the window ask for other style flags and so
    // destroy its native window, create and show a new one, paint it with half-deleted
    // content and destroy it again. Off the desktop first, the window hears nothing and
    // simply goes.
    removeFromDesktop();
    clearContentComponent();
}

void HelloWorldWindow::closeButtonPressed()
{
    juce::JUCEApplicationBase::quit();
}
