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

    juce::TooltipWindow tooltipWindow { nullptr, 700 };

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (HelloWorldWindow)
};
