#include "VelorinTest.h"
#include "ui/DravikLightLookAndFeel.h"

// The application's look: its palette, its typeface, and everything it draws, painted headless onto a grey canvas
// and compared with a reference image. Each component outlives no look.

using LookAndFeelTest = VelorinTest;
using namespace juce;

TEST_F (LookAndFeelTest, PaletteAndTypeface)
{
    DravikLightLookAndFeel lf;
    const auto colour = [] (const auto& c, int id, const char* unset) { return String::toHexString (id) + (c.isColourSpecified (id) ? " " : unset) + c.findColour (id).toDisplayString (true); };
    for (int id : std::initializer_list<int> { DravikLightLookAndFeel::mainBackgroundColourId, AlertWindow::backgroundColourId, AlertWindow::outlineColourId, AlertWindow::textColourId, TextButton::buttonColourId, TextButton::buttonOnColourId,
                    TextButton::textColourOnId, TextButton::textColourOffId, ToggleButton::textColourId, ListBox::outlineColourId, ListBox::backgroundColourId, ListBox::textColourId, ComboBox::outlineColourId, ComboBox::backgroundColourId,
                    ComboBox::textColourId, ComboBox::buttonColourId, ComboBox::arrowColourId, ScrollBar::trackColourId, ScrollBar::thumbColourId, ScrollBar::backgroundColourId, Slider::thumbColourId, Slider::trackColourId,
                    Slider::textBoxOutlineColourId, Slider::rotarySliderFillColourId, Slider::rotarySliderOutlineColourId, Slider::textBoxBackgroundColourId, Slider::textBoxTextColourId, ProgressBar::backgroundColourId,
                    ProgressBar::foregroundColourId, PopupMenu::backgroundColourId, PopupMenu::highlightedBackgroundColourId, PopupMenu::highlightedTextColourId, TextEditor::focusedOutlineColourId, TextEditor::highlightColourId,
                    TextEditor::textColourId, Label::textColourId, TextEditor::outlineColourId, TextEditor::backgroundColourId, Slider::backgroundColourId, TabbedButtonBar::tabOutlineColourId })
        note ("colour", colour (lf, id, " (framework's) "));
    EXPECT_EQ (lf.findColour (Slider::backgroundColourId), LookAndFeel_V3().findColour (Slider::backgroundColourId));

    // The sans-serif face is Calibri where installed, else Carlito; the default font while this look is the default.
    ASSERT_TRUE (Font::findAllTypefaceNames().contains ("Carlito"));   // fonts-crosextra-carlito
    EXPECT_EQ (DravikLightLookAndFeel::getSansSerifTypefaceName(), Font::findAllTypefaceNames().contains ("Calibri") ? "Calibri" : "Carlito");
    LookAndFeel::setDefaultLookAndFeel (&lf);
    const auto face = Font (Font::getDefaultSansSerifFontName(), 20.0f, Font::plain).getTypefacePtr()->getName();
    LookAndFeel::setDefaultLookAndFeel (nullptr);
    EXPECT_EQ (face, DravikLightLookAndFeel::getSansSerifTypefaceName());

    // A slider's text box takes the slider's colours (translucent behind a bar), in a 10 px plain face, centred.
    for (auto style : { Slider::LinearHorizontal, Slider::Rotary, Slider::LinearBar, Slider::LinearBarVertical })
        for (auto own : { false, true })
        {
            Slider slider (style, Slider::TextBoxBelow);
            for (auto [id, c] : { std::pair (Slider::textBoxTextColourId, 0xff11aa22), { Slider::textBoxBackgroundColourId, 0xff443322 }, { Slider::textBoxOutlineColourId, 0xff8899aa } })
                if (own) slider.setColour (id, Colour ((uint32) c));
            slider.setLookAndFeel (&lf);
            const std::unique_ptr<Label> label (lf.createSliderTextBox (slider));
            String text = String (label->getFont().getTypefaceName() == DravikLightLookAndFeel::getSansSerifTypefaceName() ? "sans-serif " : "another face ")
                          + String (label->getFont().getHeight()) + " " + String (label->getFont().getStyleFlags()) + " " + String (label->getJustificationType().getFlags());
            for (int id : std::initializer_list<int> { Label::textColourId, Label::backgroundColourId, Label::outlineColourId, TextEditor::textColourId, TextEditor::backgroundColourId, TextEditor::outlineColourId })
                text << ", " << colour (*label, id, " (default) ");
            note ("text box of style " + String ((int) style) + (own ? " in its own colours" : ""), text);
        }
}

TEST_F (LookAndFeelTest, DrawsAsTheReference)
{
    DravikLightLookAndFeel lf;
    Image image (Image::ARGB, 760, 440, true);
    image.clear (image.getBounds(), Colour (0xff303030));   // each component below is taken off the look before it
    Graphics g (image);
    const auto at = [&] (int x, int y, std::function<void()> draw) { g.saveState(); g.setOrigin (x, y); draw(); g.restoreState(); };
    TabbedComponent tabs (TabbedButtonBar::TabsAtTop);    TextButton button;    ToggleButton toggle, captioned ("(Shuffle)");    Slider knob (Slider::RotaryVerticalDrag, Slider::NoTextBox);
    for (Component* c : std::initializer_list<Component*> { &tabs, &button, &toggle, &captioned, &knob }) c->setLookAndFeel (&lf);
    // Tab bars: equally wide tabs, the current one lit; only a tab's own colour changes it.
    tabs.addTab ("Library", Colours::red, nullptr, false), tabs.addTab ("A caption much longer than a tab has room for", Colours::green, nullptr, false);   // these colours must not show
    tabs.setBounds (0, 0, 400, 130), tabs.setColour (DravikLightLookAndFeel::mainBackgroundColourId, Colours::red);
    auto& bar = tabs.getTabbedButtonBar();
    for (auto depth : { 10, 30, 100 }) EXPECT_EQ (lf.getTabButtonBestWidth (*bar.getTabButton (1), depth), 120);
    for (auto [y, depth, current] : { std::tuple (0, 30, 0), { 32, 30, 1 }, { 64, 60, 0 }, { 126, 30, 0 } })
    {
        if (y == 126) bar.getTabButton (1)->setColour (DravikLightLookAndFeel::mainBackgroundColourId, Colour (0xff5a2080));
        tabs.setTabBarDepth (depth), tabs.setCurrentTabIndex (current), at (0, y, [&] { bar.paintEntireComponent (g, true); });
    }
    auto& tab = *bar.getTabButton (0);
    for (int i = 0; i < 8; ++i)   // over, down, disabled
        tab.setEnabled (i < 4), at (400 + 120 * (i % 3), 30 * (i / 3), [&] { lf.drawTabButton (tab, g, (i & 1) != 0, (i & 2) != 0); });
    // Text buttons, off and on, at rest, hovered and pressed; one of its own colour.
    button.setSize (60, 24);
    for (int i = 0; i < 8; ++i)
        button.setToggleState (i >= 4, dontSendNotification),
            at (64 * i, 160, [&] { lf.drawButtonBackground (g, button, button.findColour (i >= 4 ? TextButton::buttonOnColourId : TextButton::buttonColourId), (i & 1) != 0, (i & 2) != 0); });
    button.setToggleState (false, dontSendNotification), button.setColour (TextButton::buttonColourId, Colours::red), at (520, 160, [&] { button.paintEntireComponent (g, true); });
    // Toggle buttons: empty and captioned, off and on, hovered, disabled, foreign colours, three heights (caption 60% high, at most 16 px).
    toggle.setSize (120, 30);
    for (int i = 0; i < 8; ++i)
        toggle.setToggleState ((i & 1) != 0, dontSendNotification), toggle.setEnabled (i < 4), at (124 * (i % 6), 190 + 34 * (i / 6), [&] { lf.drawToggleButton (g, toggle, (i & 2) != 0, false); });
    for (int i = 0; i < 7; ++i)
    {
        for (auto [id, colour] : { std::pair<int, Colour> (ToggleButton::textColourId, Colours::red), { TextButton::buttonColourId, Colours::green }, { TextButton::textColourOnId, Colours::yellow } })
            if (i == 2) captioned.setColour (id, colour);
        captioned.setToggleState ((i & 1) != 0, dontSendNotification), captioned.setSize (120, std::array { 30, 30, 30, 30, 20, 25, 40 }[(size_t) i]);
        at (248 + 124 * (i % 4), 224 + 44 * (i / 4), [&] { lf.drawToggleButton (g, captioned, false, false); });
    }
    for (int i = 0; i < 8; ++i) at (30 * i, 260, [&] { lf.drawTickBox (g, toggle, 5.0f, 5.0f, 18.0f, 18.0f, (i & 1) != 0, i < 6, false, (i & 2) != 0); });   // tick boxes: unticked, ticked, pressed, disabled
    // Knobs: the ring with a gap and a pointer above radius 12, a band below it; grey when disabled.
    int x = 0, k = 0;   // the 9th in a translucent red of its own, the 10th disabled
    for (auto [w, h, position] : { std::tuple (30, 30, 0.0f), { 29, 29, 0.0f }, { 60, 30, 0.0f }, { 26, 60, 0.0f }, { 60, 60, 0.0f }, { 60, 60, 0.25f }, { 60, 60, 0.5f }, { 60, 60, 1.0f }, { 60, 60, 0.6f }, { 60, 60, 0.5f } })
    {
        knob.setEnabled (++k != 10), knob.setColour (Slider::rotarySliderFillColourId, k == 9 ? Colours::red.withAlpha (0.2f) : Colour (0xff00ffff)), x += w + 6;
        at (x - w - 6, 300, [&, w = w, h = h, position = position] { lf.drawRotarySlider (g, 2, 2, w, h, position, -0.75f * MathConstants<float>::pi, 0.75f * MathConstants<float>::pi, knob); });
    }
    // Linear thumbs across the track; bar, rotary and inc-dec styles draw none.
    x = 220;
    for (auto [style, w, h, enabled, own] : { std::tuple (Slider::LinearHorizontal, 200, 20, true, Colour()), { Slider::LinearVertical, 20, 200, false, Colour (0xff3366cc) },
                                              { Slider::LinearBar, 60, 60, true, Colour() }, { Slider::LinearBarVertical, 60, 60, true, Colour() },
                                              { Slider::Rotary, 60, 60, true, Colour() }, { Slider::IncDecButtons, 60, 60, true, Colour() } })
    {
        Slider slider (style, Slider::NoTextBox);
        slider.setLookAndFeel (&lf), slider.setSize (w, h), slider.setEnabled (enabled), slider.setColour (Slider::thumbColourId, own.isTransparent() ? slider.findColour (Slider::thumbColourId) : own);
        const auto origin = w == 200 ? Point<int> (0, 380) : w == 20 ? Point<int> (720, 230) : Point<int> ((x += 64) - 64, 400);
        at (origin.x, origin.y, [&, style = style, w = w, h = h] { lf.drawLinearSliderThumb (g, 0, 0, w, h, w == 60 ? 30.0f : 100.0f, 0.0f, 200.0f, style, slider); });
    }
    EXPECT_TRUE (matchesReference (image, "look-and-feel.png"));
}
