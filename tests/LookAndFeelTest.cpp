#include "VelorinTest.h"
#include "ui/DravikLightLookAndFeel.h"

using LookAndFeelTest = VelorinTest;
using namespace juce;

TEST_F (LookAndFeelTest, DrawsTabsButtonsKnobsAndTickBoxesAsTheReference)
{
    DravikLightLookAndFeel lf;
    Component board;
    board.setSize (500, 230);
    OwnedArray<Component> parts;
    const auto place = [&] (auto* part, Rectangle<int> bounds)
    {
        board.addAndMakeVisible (parts.add (part));
        part->setBounds (bounds);
        return part;
    };

    // Equally wide tabs, the current one lit, the hovered one's caption brighter; a tab's own colour doesn't show.
    auto* tabs = place (new TabbedComponent (TabbedButtonBar::TabsAtTop), { 0, 0, 400, 30 });
    tabs->addTab ("Library", Colours::red, nullptr, false);
    tabs->addTab ("A caption longer than a tab has room for", Colours::green, nullptr, false);
    tabs->getTabbedButtonBar().getTabButton (1)->setState (Button::buttonOver);

    // Text buttons, and toggle buttons of three heights, off and on, each at rest, hovered and pressed.
    for (int i = 0; i < 6; ++i)
    {
        Button* const buttons[] = { place (new TextButton ("OK"), { 64 * i, 40, 60, 24 }),
                                    place (new ToggleButton ("(Shuffle)"), { 84 * i, 70, 80, 20 + 10 * (i % 3) }) };
        for (auto* button : buttons)
        {
            button->setToggleState (i >= 3, dontSendNotification);
            button->setState ((Button::ButtonState) (i % 3));   // normal, over, down
        }
    }

    // Knobs, the only sliders the player shows: a ring and a pointer above a radius of 12, a band below it.
    for (int i = 0; i < 3; ++i)
        place (new Slider (Slider::Rotary, Slider::NoTextBox), { 70 * i, 120, 60, i == 2 ? 26 : 60 })
            ->setValue (1.5 * i);

    board.setLookAndFeel (&lf);
    Image image (Image::RGB, board.getWidth(), board.getHeight(), true);   // opaque black: no alpha to round
    Graphics g (image);
    board.paintEntireComponent (g, true);

    // Tick boxes, as in the audio set-up's channel lists: unticked, ticked, pressed, disabled.
    for (int i = 0; i < 4; ++i)
        lf.drawTickBox (g, board, 30.0f * (float) i, 200.0f, 18.0f, 18.0f, i != 0, i != 3, false, i == 2);

    EXPECT_TRUE (matchesReference (image, "look-and-feel.png"));
}
