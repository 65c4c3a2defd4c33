#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The main window, titled "Velorin", holding the MainComponent. It follows the size of
    its content; the resize corner inside the content is its only resize handle. */
class HelloWorldWindow : public juce::DocumentWindow
{
public:
    HelloWorldWindow();
    ~HelloWorldWindow() override;

    void closeButtonPressed() override;

    /** Shows the buttons' tips. It looks at the mouse about ten times a second, so it exists
        only while the mouse is over the window. */
    std::unique_ptr<juce::TooltipWindow> tooltipWindow;

private:
    /** Makes and removes the tooltip window as the mouse enters and leaves the window. */
    struct TooltipWhileMouseOver : juce::MouseListener
    {
        explicit TooltipWhileMouseOver (HelloWorldWindow& w)
            : window (w)
        {
        }
        void mouseEnter (const juce::MouseEvent&) override;
        void mouseExit (const juce::MouseEvent&) override;

        HelloWorldWindow& window;
    };

    TooltipWhileMouseOver tooltipWatch { *this };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (HelloWorldWindow)
};
