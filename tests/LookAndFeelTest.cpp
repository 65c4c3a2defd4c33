#include "TestSupport.h"
#include "ui/DravikLightLookAndFeel.h"

#include <cmath>

// The application's look: palette, tabs, buttons, tick boxes, sliders and typeface, checked on
// pixels painted headless into images that start as a neutral grey canvas.

namespace
{
    using juce::Colour;

    const Colour base (0xff102030), orange (0xffffa500), darkOrange (0xffff8c00), cyan (0xff00ffff),
                 white (0xffffffff), canvas (0xff303030);
    constexpr float pi = juce::MathConstants<float>::pi;

    juce::Image blankImage (int w, int h)
    {
        juce::Image image (juce::Image::ARGB, w, h, true);
        image.clear (image.getBounds(), canvas);
        return image;
    }

    ::testing::AssertionResult pixelIs (const juce::Image& image, int x, int y, Colour expected, int tolerance = 3)
    {
        const auto c = image.getPixelAt (x, y);
        const auto distance = juce::jmax (std::abs (c.getRed() - expected.getRed()), std::abs (c.getGreen() - expected.getGreen()),
                                          std::abs (c.getBlue() - expected.getBlue()), std::abs (c.getAlpha() - expected.getAlpha()));
        if (distance <= tolerance)
            return ::testing::AssertionSuccess();

        return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << c.toDisplayString (true)
                                             << ", expected " << expected.toDisplayString (true);
    }

    using PixelTest = std::function<bool (int x, int y, Colour)>;

    int countPixels (const juce::Image& image, juce::Rectangle<int> area, const PixelTest& matches)
    {
        int count = 0;

        for (auto y = area.getY(); y < area.getBottom(); ++y)
            for (auto x = area.getX(); x < area.getRight(); ++x)
                count += matches (x, y, image.getPixelAt (x, y)) ? 1 : 0;

        return count;
    }

    bool sameImages (const juce::Image& a, const juce::Image& b)
    {
        return countPixels (a, a.getBounds(), [&] (int x, int y, Colour c) { return c != b.getPixelAt (x, y); }) == 0;
    }

    /** The smallest rectangle holding every pixel the predicate accepts (by default: no longer the canvas). */
    juce::Rectangle<int> inkBounds (const juce::Image& image, PixelTest isInk = [] (int, int, Colour c) { return c != canvas; })
    {
        juce::Rectangle<int> bounds;
        countPixels (image, image.getBounds(), [&] (int x, int y, Colour c)
        {
            if (isInk (x, y, c))
                bounds = bounds.isEmpty() ? juce::Rectangle<int> (x, y, 1, 1) : bounds.getUnion ({ x, y, 1, 1 });
            return false;
        });
        return bounds;
    }

    /** Ink mixed with the neutral canvas in any proportion keeps its hue. */
    bool hasHueOf (Colour pixel, Colour ink)
    {
        return pixel.getSaturation() > 0.2f && std::abs (pixel.getHue() - ink.getHue()) < 0.03f;
    }

    /** The pixel at a distance from a centre, in a direction (0 up, clockwise). */
    juce::Point<int> pixelToward (juce::Point<float> centre, float radius, float angle)
    {
        return { (int) std::floor (centre.x + radius * std::sin (angle)), (int) std::floor (centre.y - radius * std::cos (angle)) };
    }

    /** Gives a component the look-and-feel, and takes it back before either goes away. */
    struct Styled
    {
        Styled (juce::Component& c, juce::LookAndFeel& lf) : component (c)   { component.setLookAndFeel (&lf); }
        ~Styled()                                                            { component.setLookAndFeel (nullptr); }
        juce::Component& component;
    };
}

class LookAndFeelTest : public TempHomeTest
{
protected:
    DravikLightLookAndFeel lf;
};

//==============================================================================
TEST_F (LookAndFeelTest, PaletteSetsEveryListedColourAndLeavesTheRestToTheFramework)
{
    using namespace juce;
    const Colour grey (0xff808080);
    const std::pair<int, Colour> rows[] = {
        { DravikLightLookAndFeel::mainBackgroundColourId, base }, { AlertWindow::backgroundColourId, base },
        { AlertWindow::outlineColourId, orange }, { AlertWindow::textColourId, white },
        { TextButton::buttonColourId, base }, { TextButton::buttonOnColourId, base.brighter (0.2f) },
        { TextButton::textColourOnId, Colour (0xff000000) }, { TextButton::textColourOffId, white },
        { ToggleButton::textColourId, cyan }, { ListBox::outlineColourId, grey },
        { ListBox::backgroundColourId, base.brighter (0.6f) }, { ListBox::textColourId, white },
        { ComboBox::outlineColourId, grey }, { ComboBox::backgroundColourId, base.brighter (0.4f) },
        { ComboBox::textColourId, white }, { ComboBox::buttonColourId, orange }, { ComboBox::arrowColourId, white },
        { ScrollBar::trackColourId, darkOrange }, { ScrollBar::thumbColourId, Colour (0xffbbbbdd) },
        { ScrollBar::backgroundColourId, base.darker (0.4f) }, { Slider::thumbColourId, cyan },
        { Slider::trackColourId, Colour (0x7f000000) }, { Slider::textBoxOutlineColourId, Colour (0xffd3d3d3) },
        { Slider::rotarySliderFillColourId, cyan }, { Slider::rotarySliderOutlineColourId, darkOrange },
        { Slider::textBoxBackgroundColourId, base }, { Slider::textBoxTextColourId, cyan },
        { ProgressBar::backgroundColourId, white.withAlpha (0.6f) },
        { ProgressBar::foregroundColourId, Colour (0xff008000).withAlpha (0.7f) },
        { PopupMenu::backgroundColourId, Colour (0xffeef5f8) }, { PopupMenu::highlightedBackgroundColourId, Colour (0xbfa4c2ce) },
        { PopupMenu::highlightedTextColourId, base }, { TextEditor::focusedOutlineColourId, base },
        { TextEditor::highlightColourId, white }, { TextEditor::textColourId, white }, { Label::textColourId, white },
    };
    ASSERT_EQ (std::size (rows), 36u);

    for (const auto& [id, colour] : rows)
    {
        EXPECT_TRUE (lf.isColourSpecified (id)) << "colour id 0x" << String::toHexString (id);
        EXPECT_EQ (lf.findColour (id).toDisplayString (true), colour.toDisplayString (true)) << "colour id 0x" << String::toHexString (id);
    }

    LookAndFeel_V3 framework;

    for (int id : std::initializer_list<int> { TextEditor::outlineColourId, TextEditor::backgroundColourId, Slider::backgroundColourId,
                    TabbedButtonBar::tabOutlineColourId })
        EXPECT_EQ (lf.findColour (id), framework.findColour (id)) << "colour id 0x" << String::toHexString (id);
}

//==============================================================================
namespace
{
    constexpr int tabDepth = 30;

    Colour tabColour (Colour background, bool current)
    {
        const auto c = background.contrasting (0.15f);
        return current ? c.overlaidWith (Colour (0xffffff00).withAlpha (0.5f)) : c;
    }

    /** Two tabs at the top of a tabbed component. */
    struct Tabs
    {
        explicit Tabs (juce::LookAndFeel& lf) : styled (component, lf)
        {
            // The colours given here are for the framework's own tab drawing and must not show.
            component.addTab ("Library", juce::Colours::red, nullptr, false);
            component.addTab ("Playlist", juce::Colours::green, nullptr, false);
            component.setTabBarDepth (tabDepth);
            component.setBounds (0, 0, 400, 130);
        }

        juce::TabBarButton& button (int index)   { return *component.getTabbedButtonBar().getTabButton (index); }

        juce::Image paint()
        {
            auto& bar = component.getTabbedButtonBar();
            auto image = blankImage (bar.getWidth(), bar.getHeight());
            juce::Graphics g (image);
            bar.paintEntireComponent (g, true);
            return image;
        }

        juce::TabbedComponent component { juce::TabbedButtonBar::TabsAtTop };
        Styled styled;
    };

    /** The fill left of the caption at three heights, and the outline on all four sides. */
    void expectTab (const juce::Image& image, juce::Rectangle<int> tab, Colour background, bool current)
    {
        const auto c = tabColour (background, current);
        const auto x = tab.getX() + 6;

        for (auto y : { 2, tab.getHeight() / 2, tab.getHeight() - 3 })
            EXPECT_TRUE (pixelIs (image, x, y, c.brighter (0.1f).interpolatedWith (c.darker (0.1f), (y + 0.5f) / tab.getHeight())));

        const auto outline = background.darker (0.3f);

        for (auto p : { tab.getTopLeft().translated (30, 0), tab.getBottomLeft().translated (30, -1),
                        tab.getTopLeft().translated (0, tab.getHeight() / 2), tab.getTopRight().translated (-1, tab.getHeight() / 2) })
            EXPECT_TRUE (pixelIs (image, p.x, p.y, outline, 1));
    }
}

TEST_F (LookAndFeelTest, TabsAreEquallyWideGradientFilledOutlinedAndNothingIsDrawnBehindThem)
{
    Tabs tabs (lf);
    tabs.component.setTabName (1, "A caption much longer than a tab has room for");

    for (auto depth : { 10, tabDepth, 100 })
        EXPECT_EQ (lf.getTabButtonBestWidth (tabs.button (1), depth), 120);

    for (auto current : { 0, 1 })
    {
        SCOPED_TRACE ("current tab " + std::to_string (current));
        tabs.component.setCurrentTabIndex (current);
        const auto image = tabs.paint();

        for (auto index : { 0, 1 })
        {
            EXPECT_EQ (tabs.button (index).getWidth(), 120);
            expectTab (image, tabs.button (index).getBounds(), base, index == current);
        }

        const auto behind = image.getBounds().withLeft (tabs.button (1).getRight());
        ASSERT_GT (behind.getWidth(), 100);
        EXPECT_EQ (countPixels (image, behind, [] (int, int, Colour c) { return c != canvas; }), 0);
    }
}

TEST_F (LookAndFeelTest, OnlyATabsOwnColourChangesIt)
{
    Tabs tabs (lf);
    const auto untouched = tabs.paint();

    tabs.component.setColour (DravikLightLookAndFeel::mainBackgroundColourId, juce::Colours::red);
    tabs.component.getTabbedButtonBar().setColour (DravikLightLookAndFeel::mainBackgroundColourId, juce::Colours::green);
    EXPECT_TRUE (sameImages (tabs.paint(), untouched)) << "colours on the bar and tabbed component are not inherited";

    const Colour own (0xff5a2080);
    tabs.button (1).setColour (DravikLightLookAndFeel::mainBackgroundColourId, own);
    const auto image = tabs.paint();
    expectTab (image, tabs.button (0).getBounds(), base, true);
    expectTab (image, tabs.button (1).getBounds(), own, false);
}

TEST_F (LookAndFeelTest, TabCaptionContrastsWithItsFillAndIsHalfTheDepth)
{
    Tabs tabs (lf);
    const auto inside = [&] (int index) { return tabs.button (index).getBounds().reduced (2); };
    const auto light = [] (int, int, Colour c) { return c.getPerceivedBrightness() > 0.6f; };
    auto image = tabs.paint();

    // The other tab is dark and gets a light caption; the yellowish current tab gets a dark one.
    ASSERT_LT (tabColour (base, false).getPerceivedBrightness(), 0.5f);
    ASSERT_GT (tabColour (base, true).getPerceivedBrightness(), 0.5f);
    EXPECT_GT (countPixels (image, inside (1), light), 10);
    EXPECT_GT (countPixels (image, inside (0), [] (int, int, Colour c) { return c.getPerceivedBrightness() < 0.3f; }), 10);

    const auto captionHeight = [&] { return inkBounds (image.getClippedImage (inside (1)), light).getHeight(); };
    const auto height = captionHeight();
    EXPECT_GE (height, tabDepth * 3 / 10);
    EXPECT_LE (height, tabDepth / 2 + 1);

    tabs.component.setTabBarDepth (tabDepth * 2);
    image = tabs.paint();
    EXPECT_NEAR (captionHeight(), 2 * height, 2);
}

TEST_F (LookAndFeelTest, TabCaptionIsDimmedWhenDisabledAndFullWhenHoveredOrPressed)
{
    Tabs tabs (lf);
    auto& tab = tabs.button (1);

    const auto brightest = [&] (bool over, bool down)
    {
        auto image = blankImage (tab.getWidth(), tab.getHeight());
        juce::Graphics g (image);
        lf.drawTabButton (tab, g, over, down);
        auto result = 0.0f;
        countPixels (image, image.getBounds().reduced (2), [&] (int, int, Colour c)
                     { result = juce::jmax (result, c.getPerceivedBrightness()); return false; });
        return result;
    };

    const auto normal = brightest (false, false), over = brightest (true, false);
    EXPECT_GT (over, normal + 0.03f);
    EXPECT_FLOAT_EQ (brightest (false, true), over);

    tab.setEnabled (false);
    const auto disabled = brightest (false, false);
    EXPECT_LT (disabled, normal - 0.2f);
    EXPECT_FLOAT_EQ (brightest (true, true), disabled);
}

//==============================================================================
TEST_F (LookAndFeelTest, TextButtonBackgroundFollowsHoverAndPress)
{
    juce::TextButton button;
    Styled styled (button, lf);
    button.setSize (60, 24);

    struct Row { bool toggled, over, down; };

    for (auto row : { Row { false, false, false }, Row { false, true, false }, Row { false, true, true },
                      Row { false, false, true }, Row { true, false, false }, Row { true, true, true } })
    {
        SCOPED_TRACE (juce::String (row.toggled ? "on" : "off") + (row.over ? ", over" : "") + (row.down ? ", down" : ""));
        button.setToggleState (row.toggled, juce::dontSendNotification);

        auto fill = (row.toggled ? base.brighter (0.2f) : base).withMultipliedSaturation (0.3f);

        if (row.over)
            fill = fill.brighter (row.down ? 0.4f : 0.2f);

        const auto outline = orange.withAlpha (row.over ? 1.0f : 0.8f);
        const auto thickness = row.over ? 2.0f : 1.4f;

        auto image = blankImage (60, 24);
        {
            juce::Graphics g (image);
            lf.drawButtonBackground (g, button, button.findColour (row.toggled ? juce::TextButton::buttonOnColourId
                                                                               : juce::TextButton::buttonColourId),
                                     row.over, row.down);
        }

        // The outline runs half a pixel in: over the edge row (half filled) and part of the next.
        EXPECT_TRUE (pixelIs (image, 30, 12, fill));
        EXPECT_TRUE (pixelIs (image, 30, 0, canvas.interpolatedWith (fill, 0.5f).overlaidWith (outline)));
        EXPECT_TRUE (pixelIs (image, 30, 1, fill.overlaidWith (outline.withMultipliedAlpha (thickness / 2.0f - 0.5f))));

        if (! row.over && ! row.down)
        {
            auto painted = blankImage (60, 24);
            juce::Graphics g (painted);
            button.paintEntireComponent (g, true);
            EXPECT_TRUE (sameImages (painted, image)) << "a button at rest is painted in the palette's colour";
        }
    }

    // The saturation cut shows best on a saturated colour of the button's own.
    button.setToggleState (false, juce::dontSendNotification);
    button.setColour (juce::TextButton::buttonColourId, juce::Colours::red);
    auto image = blankImage (60, 24);
    juce::Graphics g (image);
    button.paintEntireComponent (g, true);
    EXPECT_TRUE (pixelIs (image, 30, 12, juce::Colours::red.withMultipliedSaturation (0.3f)));
}

namespace
{
    juce::Image paintToggle (DravikLightLookAndFeel& lf, juce::ToggleButton& button, bool over)
    {
        auto image = blankImage (button.getWidth(), button.getHeight());
        juce::Graphics g (image);
        lf.drawToggleButton (g, button, over, false);
        return image;
    }
}

TEST_F (LookAndFeelTest, ToggleButtonFillGlowAndOutline)
{
    juce::ToggleButton button;   // no caption: nothing covers the middle
    Styled styled (button, lf);
    button.setSize (120, 30);

    const juce::Point<float> middle (60.0f, 15.0f);
    const auto glow = [&] (int x, int y)
    {
        return white.interpolatedWith (orange, middle.getDistanceFrom ({ (float) x, (float) y }) / middle.getDistanceFrom ({ 120.0f, 30.0f }));
    };

    struct Row { bool on, over, enabled; };

    for (auto row : { Row { false, false, true }, Row { false, true, true }, Row { true, false, true },
                      Row { true, true, true }, Row { false, true, false }, Row { true, true, false } })
    {
        SCOPED_TRACE (juce::String (row.on ? "on" : "off") + (row.over ? ", over" : "") + (row.enabled ? "" : ", disabled"));
        button.setToggleState (row.on, juce::dontSendNotification);
        button.setEnabled (row.enabled);
        const auto image = paintToggle (lf, button, row.over);

        const auto fill = row.over ? base.brighter (0.2f) : base;
        auto outline = orange.withAlpha (row.over && row.enabled ? 1.0f : 0.8f);

        if (row.on)
            outline = outline.brighter (0.4f);

        // The outline is centred one pixel in: 2 px wide it covers the edge pixel, 1.4 px wide 70% of it.
        EXPECT_TRUE (pixelIs (image, 30, 0, canvas.overlaidWith (outline.withMultipliedAlpha (row.over ? 1.0f : 0.7f))));
        EXPECT_TRUE (pixelIs (image, 2, 15, fill));
        EXPECT_TRUE (pixelIs (image, 60, 15, row.on ? white : fill));
        EXPECT_TRUE (pixelIs (image, 5, 5, row.on ? glow (5, 5) : fill, 4));
        EXPECT_TRUE (pixelIs (image, 100, 22, row.on ? glow (100, 22) : fill, 4));
    }
}

TEST_F (LookAndFeelTest, ToggleButtonCaptionIsCyanWhenOffAndBlackWhenOnWhateverTheButtonsColours)
{
    juce::ToggleButton button ("(Shuffle)");
    Styled styled (button, lf);
    button.setSize (120, 30);
    const juce::Rectangle<int> caption (20, 6, 80, 18);   // inside the glow of a button that is on
    const auto cyanInk = [] (int, int, Colour c) { return c.getRed() < 80 && c.getGreen() > 150 && c.getBlue() > 150; };

    const auto off = paintToggle (lf, button, false);
    EXPECT_GT (countPixels (off, caption, cyanInk), 10);

    button.setToggleState (true, juce::dontSendNotification);
    const auto on = paintToggle (lf, button, false);
    EXPECT_EQ (countPixels (on, caption, cyanInk), 0);
    EXPECT_GT (countPixels (on, caption, [] (int, int, Colour c) { return c.getPerceivedBrightness() < 0.3f; }), 10);

    button.setColour (juce::ToggleButton::textColourId, juce::Colours::red);
    button.setColour (juce::TextButton::buttonColourId, juce::Colours::green);
    button.setColour (juce::TextButton::textColourOnId, juce::Colours::yellow);
    EXPECT_TRUE (sameImages (paintToggle (lf, button, false), on));
    button.setToggleState (false, juce::dontSendNotification);
    EXPECT_TRUE (sameImages (paintToggle (lf, button, false), off));

    // The caption is centred, and its font 60% of the height but at most 16 pixels (seen in the ink's width).
    const auto captionWidthAt = [&] (float fontHeight)
    {
        auto image = blankImage (120, 40);
        juce::Graphics g (image);
        g.setColour (cyan);
        g.setFont (juce::Font (DravikLightLookAndFeel::getSansSerifTypefaceName(), fontHeight, juce::Font::plain));
        g.drawText (button.getButtonText(), image.getBounds(), juce::Justification::centred);
        return inkBounds (image, cyanInk).getWidth();
    };

    for (auto [height, fontHeight] : { std::pair (20, 12.0f), std::pair (25, 15.0f), std::pair (40, 16.0f) })
    {
        button.setSize (120, height);
        const auto ink = inkBounds (paintToggle (lf, button, false), cyanInk);
        EXPECT_NEAR (ink.getWidth(), captionWidthAt (fontHeight), 1) << "height " << height;
        EXPECT_NEAR (ink.getCentreX(), 60, 1);
        EXPECT_NEAR (ink.getCentreY(), height / 2, 2);
    }
}

TEST_F (LookAndFeelTest, TickBoxStaysInsideItsScaledBoxAndFollowsItsState)
{
    juce::ToggleButton button;
    const Colour blue (0xff0000ff), lightGrey (0xffd3d3d3);

    struct Row { bool ticked, enabled, down; Colour fill; };

    for (auto row : { Row { false, true, false, blue.withAlpha (0.1f) }, Row { false, true, true, blue.withAlpha (0.3f) },
                      Row { false, false, false, lightGrey.withAlpha (0.1f) }, Row { false, false, true, lightGrey.withAlpha (0.1f) },
                      Row { true, true, false, orange }, Row { true, true, true, orange },
                      Row { true, false, false, lightGrey.withAlpha (0.1f) } })
    {
        SCOPED_TRACE (juce::String (row.ticked ? "ticked" : "unticked") + (row.enabled ? "" : ", disabled") + (row.down ? ", down" : ""));
        auto image = blankImage (40, 40);
        {
            juce::Graphics g (image);
            lf.drawTickBox (g, button, 10.0f, 10.0f, 18.0f, 18.0f, row.ticked, row.enabled, false, row.down);
        }

        // The box is (0, 2, 6, 6) in 9 units: (10, 14, 12, 12) here, and the outline adds under a pixel.
        EXPECT_EQ (inkBounds (image), juce::Rectangle<int> (9, 13, 14, 14));

        const auto fill = canvas.overlaidWith (row.fill);
        EXPECT_TRUE (pixelIs (image, 16, 20, fill));

        // The 0.9 px white outline on the left edge (x = 10) covers 45% of pixel 10, and a tick hides it.
        EXPECT_TRUE (pixelIs (image, 10, 20, row.ticked && row.enabled ? orange : fill.overlaidWith (white.withAlpha (0.6f * 0.45f)), 4));
    }
}

//==============================================================================
namespace
{
    constexpr float startAngle = -0.75f * pi, endAngle = 0.75f * pi;

    juce::Image paintKnob (DravikLightLookAndFeel& lf, juce::Slider& slider, juce::Rectangle<int> box, float position, int size)
    {
        auto image = blankImage (size, size);
        juce::Graphics g (image);
        lf.drawRotarySlider (g, box.getX(), box.getY(), box.getWidth(), box.getHeight(), position, startAngle, endAngle, slider);
        return image;
    }

    float radiusOf (juce::Rectangle<int> box)   { return (float) juce::jmin (box.getWidth() / 2, box.getHeight() / 2) - 2.0f; }
    juce::Point<float> centreOf (juce::Rectangle<int> box)   { return box.toFloat().getCentre(); }
}

TEST_F (LookAndFeelTest, KnobsOfRadiusTwelveOrLessAreARingWithABar)
{
    juce::Slider slider (juce::Slider::RotaryVerticalDrag, juce::Slider::NoTextBox);
    Styled styled (slider, lf);

    struct Row { int w, h; bool large; };

    for (auto row : { Row { 30, 30, true }, Row { 29, 29, false }, Row { 60, 30, true }, Row { 26, 60, false } })
    {
        SCOPED_TRACE (std::to_string (row.w) + " x " + std::to_string (row.h));
        const juce::Rectangle<int> box (row.w, row.h);
        const auto image = paintKnob (lf, slider, box, 0.0f, juce::jmax (row.w, row.h));
        const auto r = radiusOf (box);

        // Only the large form has the outline ring; the small one has a band from 0.7 r to 0.9 r all round.
        EXPECT_EQ (! inkBounds (image, [] (int, int, Colour c) { return hasHueOf (c, darkOrange); }).isEmpty(), row.large);

        for (auto eighth = 0; eighth < 8; ++eighth)
        {
            const auto p = pixelToward (centreOf (box), 0.8f * r, (float) eighth * pi / 4.0f);
            const auto pixel = image.getPixelAt (p.x, p.y);

            if (! row.large)
            {
                EXPECT_TRUE (hasHueOf (pixel, cyan)) << "direction " << eighth;

                if (eighth % 2 == 0)   // along the axes the band covers the whole pixel
                {
                    EXPECT_TRUE (pixelIs (image, p.x, p.y, canvas.overlaidWith (cyan.withAlpha (0.7f))));
                }
            }
            else if (eighth == 4)   // straight down: the gap in the ring
            {
                EXPECT_EQ (pixel, canvas);
            }
        }

        // Both forms point at the start angle, with nothing halfway out the other way.
        const auto along = pixelToward (centreOf (box), 0.5f * r, startAngle),
                   behind = pixelToward (centreOf (box), 0.5f * r, startAngle + pi);
        EXPECT_TRUE (hasHueOf (image.getPixelAt (along.x, along.y), cyan));
        EXPECT_EQ (image.getPixelAt (behind.x, behind.y), canvas);
    }
}

TEST_F (LookAndFeelTest, KnobPointerFollowsThePositionAtSeventyPercent)
{
    juce::Slider slider (juce::Slider::RotaryVerticalDrag, juce::Slider::NoTextBox);
    Styled styled (slider, lf);
    const juce::Rectangle<int> box (10, 20, 60, 60);
    const auto r = radiusOf (box);

    const auto expectPointer = [&] (float position, Colour ink)
    {
        SCOPED_TRACE ("position " + std::to_string (position));
        const auto image = paintKnob (lf, slider, box, position, 90);
        const auto angle = startAngle + position * (endAngle - startAngle);
        const auto along = pixelToward (centreOf (box), 0.45f * r, angle), tip = pixelToward (centreOf (box), 0.8f * r, angle),
                   hub = pixelToward (centreOf (box), 0.1f * r, angle + pi), behind = pixelToward (centreOf (box), 0.45f * r, angle + pi);

        EXPECT_TRUE (pixelIs (image, along.x, along.y, canvas.overlaidWith (ink)));
        EXPECT_TRUE (pixelIs (image, hub.x, hub.y, canvas.overlaidWith (ink)));
        EXPECT_EQ (image.getPixelAt (behind.x, behind.y), canvas);

        if (position > 0.0f && position < 1.0f)   // at either end the ring's straight edge lies over the tip
        {
            EXPECT_TRUE (hasHueOf (image.getPixelAt (tip.x, tip.y), ink));
        }
    };

    for (auto position : { 0.0f, 0.25f, 0.5f, 1.0f })
        expectPointer (position, cyan.withAlpha (0.7f));

    slider.setColour (juce::Slider::rotarySliderFillColourId, juce::Colours::red.withAlpha (0.2f));
    expectPointer (0.6f, juce::Colours::red.withAlpha (0.7f));
}

TEST_F (LookAndFeelTest, KnobRingOutlinesTheRangeAndTurnsGreyWhenDisabled)
{
    juce::Slider slider (juce::Slider::RotaryVerticalDrag, juce::Slider::NoTextBox);
    Styled styled (slider, lf);
    const juce::Rectangle<int> box (10, 20, 60, 60);
    const auto r = radiusOf (box);
    const auto inside = pixelToward (centreOf (box), 0.85f * r, pi / 2.0f), gap = pixelToward (centreOf (box), r, pi);

    // Straight right, the stroke along the outer edge (x = 68) covers equal parts of pixels 67 and 68.
    const auto expectOuterEdge = [&] (const juce::Image& image, Colour ink, float thickness)
    {
        const auto x = juce::roundToInt (centreOf (box).x + r), y = (int) centreOf (box).y;
        EXPECT_TRUE (pixelIs (image, x - 1, y, canvas.overlaidWith (ink.withMultipliedAlpha (thickness / 2.0f)), 4));
        EXPECT_TRUE (pixelIs (image, x, y, canvas.overlaidWith (ink.withMultipliedAlpha (thickness / 2.0f)), 4));
    };

    auto image = paintKnob (lf, slider, box, 0.0f, 90);
    expectOuterEdge (image, darkOrange, 1.2f);
    EXPECT_EQ (image.getPixelAt (inside.x, inside.y), canvas) << "the ring is stroked, not filled";
    EXPECT_EQ (image.getPixelAt (gap.x, gap.y), canvas) << "the ring spans only the rotary range";

    slider.setEnabled (false);
    image = paintKnob (lf, slider, box, 0.5f, 90);
    const auto along = pixelToward (centreOf (box), 0.45f * r, 0.0f);
    EXPECT_TRUE (pixelIs (image, along.x, along.y, canvas.overlaidWith (Colour (0x80808080))));
    EXPECT_TRUE (inkBounds (image, [] (int, int, Colour c) { return c.getSaturation() > 0.05f; }).isEmpty());
    expectOuterEdge (image, Colour (0x80808080), 0.3f);
}

TEST_F (LookAndFeelTest, LinearThumbIsAnOutlinedBarAcrossTheTrack)
{
    struct Row { juce::Slider::SliderStyle style; int w, h; bool enabled; Colour own; };

    for (auto row : { Row { juce::Slider::LinearHorizontal, 200, 20, true, {} },
                      Row { juce::Slider::LinearVertical, 20, 200, false, Colour (0xff3366cc) } })
    {
        SCOPED_TRACE (row.style == juce::Slider::LinearHorizontal ? "horizontal" : "vertical");
        juce::Slider slider (row.style, juce::Slider::NoTextBox);
        Styled styled (slider, lf);
        slider.setSize (row.w, row.h);
        slider.setEnabled (row.enabled);

        if (! row.own.isTransparent())
            slider.setColour (juce::Slider::thumbColourId, row.own);

        auto image = blankImage (row.w, row.h);
        {
            juce::Graphics g (image);
            lf.drawLinearSliderThumb (g, 0, 0, row.w, row.h, 100.0f, 0.0f, 200.0f, row.style, slider);
        }

        // The thumb radius is min (7, h / 2, w / 2) + 2; the bar reaches two less either side of the centre.
        const auto sr = (float) juce::jmin (7, row.w / 2, row.h / 2);
        const bool horizontal = row.style == juce::Slider::LinearHorizontal;
        const juce::Point<float> centre (horizontal ? 100.0f : (float) row.w * 0.5f, horizontal ? (float) row.h * 0.5f : 100.0f);
        const juce::Rectangle<float> bar (centre.x - sr, centre.y - sr * 0.5f, sr * 2.0f, sr);
        const Colour silver (0xffc0c0c0);

        EXPECT_TRUE (pixelIs (image, (int) centre.x, (int) centre.y, (row.own.isTransparent() ? cyan : row.own).withMultipliedSaturation (0.9f)));
        EXPECT_TRUE (pixelIs (image, (int) bar.getX(), (int) centre.y, silver));
        EXPECT_TRUE (pixelIs (image, (int) bar.getRight(), (int) centre.y, silver));
        EXPECT_TRUE (pixelIs (image, (int) centre.x, (int) bar.getY(), silver));
        EXPECT_TRUE (pixelIs (image, (int) centre.x, (int) bar.getBottom(), silver));
        EXPECT_EQ (inkBounds (image), bar.expanded (1.0f).getSmallestIntegerContainer());   // a 2 px outline
    }
}

TEST_F (LookAndFeelTest, BarRotaryAndIncDecStylesDrawNoThumb)
{
    for (auto style : { juce::Slider::LinearBar, juce::Slider::LinearBarVertical, juce::Slider::Rotary,
                        juce::Slider::RotaryHorizontalDrag, juce::Slider::RotaryVerticalDrag,
                        juce::Slider::RotaryHorizontalVerticalDrag, juce::Slider::IncDecButtons })
    {
        juce::Slider slider (style, juce::Slider::NoTextBox);
        Styled styled (slider, lf);
        slider.setSize (100, 100);

        auto image = blankImage (100, 100);
        {
            juce::Graphics g (image);
            lf.drawLinearSliderThumb (g, 0, 0, 100, 100, 50.0f, 10.0f, 90.0f, style, slider);
        }

        EXPECT_TRUE (inkBounds (image).isEmpty()) << "style " << (int) style;
    }
}

TEST_F (LookAndFeelTest, SliderTextBoxTakesTheSlidersColours)
{
    const Colour ownText (0xff11aa22), ownBackground (0xff443322), ownOutline (0xff8899aa);

    for (auto style : { juce::Slider::LinearHorizontal, juce::Slider::Rotary, juce::Slider::LinearBar, juce::Slider::LinearBarVertical })
    {
        for (auto own : { false, true })
        {
            SCOPED_TRACE ("style " + std::to_string ((int) style) + (own ? ", own colours" : ", palette"));
            juce::Slider slider (style, juce::Slider::TextBoxBelow);
            Styled styled (slider, lf);

            if (own)
            {
                slider.setColour (juce::Slider::textBoxTextColourId, ownText);
                slider.setColour (juce::Slider::textBoxBackgroundColourId, ownBackground);
                slider.setColour (juce::Slider::textBoxOutlineColourId, ownOutline);
            }

            const auto text = own ? ownText : cyan, background = own ? ownBackground : base,
                       outline = own ? ownOutline : Colour (0xffd3d3d3);
            const bool bar = style == juce::Slider::LinearBar || style == juce::Slider::LinearBarVertical;
            const std::unique_ptr<juce::Label> label (lf.createSliderTextBox (slider));
            ASSERT_NE (label, nullptr);

            const std::pair<int, Colour> expected[] = {
                { juce::Label::textColourId, text }, { juce::Label::backgroundColourId, bar ? Colour() : background },
                { juce::Label::outlineColourId, outline }, { juce::TextEditor::textColourId, text },
                { juce::TextEditor::backgroundColourId, background.withAlpha (bar ? 0.7f : 1.0f) },
                { juce::TextEditor::outlineColourId, outline },
            };

            for (const auto& [id, colour] : expected)
            {
                EXPECT_TRUE (label->isColourSpecified (id)) << "colour id 0x" << juce::String::toHexString (id);
                EXPECT_EQ (label->findColour (id).toDisplayString (true), colour.toDisplayString (true))
                    << "colour id 0x" << juce::String::toHexString (id);
            }

            EXPECT_EQ (label->getFont().getTypefaceName(), DravikLightLookAndFeel::getSansSerifTypefaceName());
            EXPECT_FLOAT_EQ (label->getFont().getHeight(), 10.0f);
            EXPECT_EQ (label->getFont().getStyleFlags(), juce::Font::plain);
            EXPECT_EQ (label->getJustificationType(), juce::Justification (juce::Justification::centred));
        }
    }
}

//==============================================================================
namespace
{
    int inkOfText (const juce::Font& font)
    {
        auto image = blankImage (200, 40);
        {
            juce::Graphics g (image);
            g.setColour (white);
            g.setFont (font);
            g.drawText ("Velorin", image.getBounds(), juce::Justification::centred, false);
        }
        return countPixels (image, image.getBounds(), [] (int, int, Colour c) { return c != canvas; });
    }
}

TEST_F (LookAndFeelTest, SansSerifIsCalibriWhereInstalledElseCarlitoAndDrawsText)
{
    const auto installed = juce::Font::findAllTypefaceNames();
    ASSERT_TRUE (installed.contains ("Carlito"));   // fonts-crosextra-carlito
    EXPECT_EQ (DravikLightLookAndFeel::getSansSerifTypefaceName(), installed.contains ("Calibri") ? "Calibri" : "Carlito");
    EXPECT_GT (inkOfText (juce::Font (DravikLightLookAndFeel::getSansSerifTypefaceName(), 20.0f, juce::Font::plain)), 50);

    // While this is the default look, the default sans-serif font is that typeface.
    juce::LookAndFeel::setDefaultLookAndFeel (&lf);
    const juce::Font font (juce::Font::getDefaultSansSerifFontName(), 20.0f, juce::Font::plain);
    EXPECT_EQ (font.getTypefacePtr()->getName(), DravikLightLookAndFeel::getSansSerifTypefaceName());
    EXPECT_GT (inkOfText (font), 50);
    juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
}
