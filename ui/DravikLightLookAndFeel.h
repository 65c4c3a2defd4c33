#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The application's look: a dark-blue palette on top of LookAndFeel_V3, with its own
    tabs, text and toggle buttons, tick boxes, slider thumbs, rotary knobs and value boxes. */
class DravikLightLookAndFeel : public juce::LookAndFeel_V3
{
public:
    /** The application's own colour id for the main background and the tab colour. */
    static constexpr int mainBackgroundColourId = 0x2340000;

    DravikLightLookAndFeel();
    ~DravikLightLookAndFeel() override;

    /** "Calibri" where it is installed, else the metric-compatible "Carlito", else the
        framework's default sans-serif name (so text is never drawn in a missing font). */
    static juce::String getSansSerifTypefaceName();

    //==============================================================================
    void drawButtonBackground (juce::Graphics&, juce::Button&, const juce::Colour& backgroundColour,
                               bool isMouseOverButton, bool isButtonDown) override;
    void drawToggleButton (juce::Graphics&, juce::ToggleButton&, bool isMouseOverButton, bool isButtonDown) override;
    void drawTickBox (juce::Graphics&, juce::Component&, float x, float y, float w, float h, bool ticked,
                      bool isEnabled, bool isMouseOverButton, bool isButtonDown) override;

    void drawLinearSliderThumb (juce::Graphics&, int x, int y, int width, int height, float sliderPos,
                                float minSliderPos, float maxSliderPos, juce::Slider::SliderStyle,
                                juce::Slider&) override;
    void drawRotarySlider (juce::Graphics&, int x, int y, int width, int height, float sliderPos,
                           float rotaryStartAngle, float rotaryEndAngle, juce::Slider&) override;
    juce::Label* createSliderTextBox (juce::Slider&) override;

    int getTabButtonBestWidth (juce::TabBarButton&, int tabDepth) override;
    void drawTabButton (juce::TabBarButton&, juce::Graphics&, bool isMouseOver, bool isMouseDown) override;
    void drawTabAreaBehindFrontButton (juce::TabbedButtonBar&, juce::Graphics&, int w, int h) override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DravikLightLookAndFeel)
};
