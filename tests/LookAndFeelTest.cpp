#include "VelorinTest.h"
#include "ui/DravikLightLookAndFeel.h"

using LookAndFeelTest = VelorinTest;
using namespace juce;

TEST_F (LookAndFeelTest, DrawsTabsButtonsKnobsAndSlidersAsTheReference)
{
    ASSERT_TRUE (Font::findAllTypefaceNames().contains ("Carlito")) << "the package fonts-crosextra-carlito";
    DravikLightLookAndFeel lf;
    Component board;
    board.setSize (500, 230);
    OwnedArray<Component> parts;
    const auto place = [&] (Component* part, Rectangle<int> bounds)
    {
        board.addAndMakeVisible (parts.add (part));
        part->setBounds (bounds);
    };

    // Equally wide tabs, the current one lit, the hovered one's caption brighter; a tab's own colour doesn't show.
    auto* tabs = new TabbedComponent (TabbedButtonBar::TabsAtTop);
    tabs->addTab ("Library", Colours::red, nullptr, false);
    tabs->addTab ("A caption longer than a tab has room for", Colours::green, nullptr, false);
    tabs->setTabBarDepth (30);
    place (tabs, { 0, 0, 400, 30 });
    tabs->getTabbedButtonBar().getTabButton (1)->setState (Button::buttonOver);

    // Text buttons off and on; toggle buttons off and on, three heights; each at rest, hovered and pressed.
    const Button::ButtonState states[] = { Button::buttonNormal, Button::buttonOver, Button::buttonDown };
    for (int i = 0; i < 6; ++i)
    {
        auto* button = new TextButton ("B" + String (i));
        place (button, { 64 * i, 40, 60, 24 });
        button->setToggleState (i >= 3, dontSendNotification);
        button->setState (states[i % 3]);
        auto* toggle = new ToggleButton ("(Shuffle)");
        place (toggle, { 84 * i, 70, 80, 20 + 10 * (i % 3) });
        toggle->setToggleState (i >= 3, dontSendNotification);
        toggle->setState (states[i % 3]);
    }

    // Knobs: a ring and a pointer above a radius of 12, a band below it; grey when disabled.
    for (int i = 0; i < 5; ++i)
    {
        auto* knob = new Slider (Slider::RotaryVerticalDrag, Slider::NoTextBox);
        place (knob, { 64 * i, 120, i == 3 ? 26 : 60, i == 3 ? 26 : 60 });
        knob->setValue (i < 3 ? 5.0 * i : 7.0);
        knob->setEnabled (i != 4);
    }

    // Linear thumbs (none on a bar), a disabled one, and a bar's value box over it.
    const std::pair<Slider::SliderStyle, Rectangle<int>> sliders[] = { { Slider::LinearHorizontal, { 330, 120, 160, 20 } },
                                                                       { Slider::LinearVertical, { 470, 140, 20, 80 } },
                                                                       { Slider::LinearBar, { 330, 150, 100, 20 } } };
    for (auto& [style, bounds] : sliders)
    {
        auto* slider = new Slider (style, style == Slider::LinearVertical ? Slider::NoTextBox : Slider::TextBoxLeft);
        place (slider, bounds);
        slider->setValue (3.0);
        slider->setEnabled (style != Slider::LinearVertical);
    }

    board.setLookAndFeel (&lf);   // the sliders' value boxes are made again by it
    auto image = board.createComponentSnapshot (board.getLocalBounds());
    Graphics g (image);

    // Tick boxes, as in the audio set-up's channel lists: unticked, ticked, pressed, disabled.
    for (int i = 0; i < 4; ++i)
        lf.drawTickBox (g, board, 30.0f * (float) i, 200.0f, 18.0f, 18.0f, i != 0, i != 3, false, i == 2);

    EXPECT_TRUE (matchesReference (image, "look-and-feel.png"));
}
