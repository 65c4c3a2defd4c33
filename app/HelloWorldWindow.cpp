#include "app/HelloWorldWindow.h"
#include "app/MainComponent.h"

HelloWorldWindow::HelloWorldWindow()
    : juce::DocumentWindow ("Velorin", juce::Colours::lightgrey, juce::DocumentWindow::allButtons, true)
{
    setUsingNativeTitleBar (true);
    addMouseListener (&tooltipWatch, true);
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
    removeMouseListener (&tooltipWatch);
    tooltipWindow = nullptr;
    clearContentComponent();
}

void HelloWorldWindow::TooltipWhileMouseOver::mouseEnter (const juce::MouseEvent&)
{
    if (window.tooltipWindow == nullptr)
        window.tooltipWindow = std::make_unique<juce::TooltipWindow> (nullptr, 700);
}

void HelloWorldWindow::TooltipWhileMouseOver::mouseExit (const juce::MouseEvent&)
{
    // Moving between the window's components leaves one and enters the next; only a move
    // out of the window leaves it with nothing of it under the mouse.
    if (! window.isMouseOver (true))
        window.tooltipWindow = nullptr;
}

void HelloWorldWindow::closeButtonPressed()
{
    juce::JUCEApplicationBase::quit();
}
