#include "ui/DravikLightLookAndFeel.h"

using namespace juce;

namespace
{
    const Colour mainBackground (0xff102030);
    const Colour orange (0xffffa500);

    /** Adds a rectangle through the rounded-rectangle operation, every corner flagged. */
    void addRoundedBox (Path& path, float x, float y, float w, float h, float cornerSize)
    {
        path.addRoundedRectangle (x, y, w, h, cornerSize, cornerSize, true, true, true, true);
    }
}

//==============================================================================
static Colour getTabColour (TabBarButton& button)
{
    auto c = button.findColour (DravikLightLookAndFeel::mainBackgroundColourId, false).contrasting (0.15f);

    if (button.getToggleState())
        c = c.overlaidWith (Colour (0xffffff00).withAlpha (0.5f));

    return c;
}

static void createTabTextLayout (const TabBarButton& button, float length, float depth, Colour colour,
                                 TextLayout& textLayout)
{
    Font font (DravikLightLookAndFeel::getSansSerifTypefaceName(), depth * 0.5f, Font::plain);
    font.setUnderline (button.hasKeyboardFocus (false));

    AttributedString text;
    text.setJustification (Justification::centred);
    text.append (button.getButtonText().trim(), font, colour);

    textLayout.createLayout (text, length);
}

/** A knob colour from a base colour and how the user is touching the control. */
static Colour createBaseColour (Colour colour, bool hasFocus, bool isOver, bool isDown)
{
    const auto base = colour.withMultipliedSaturation (hasFocus ? 1.3f : 0.9f);

    if (isDown)
        return base.contrasting (0.2f);

    if (isOver)
        return base.contrasting (0.1f);

    return base;
}

static void drawOutlinedRectangle (Graphics& g, float x, float y, float width, float height, Colour fill,
                                   Colour outline)
{
    Path path;
    path.addRectangle (x, y, width, height);
    g.setColour (fill);
    g.fillPath (path);
    g.setColour (outline);
    g.strokePath (path, PathStrokeType (2.0f));
}

//==============================================================================
DravikLightLookAndFeel::DravikLightLookAndFeel()
{
    const auto sans = getSansSerifTypefaceName();

    if (sans != Font::getDefaultSansSerifFontName())
        setDefaultSansSerifTypefaceName (sans);

    const auto white = Colour (0xffffffff);
    const auto grey = Colour (0xff808080);
    const auto cyan = Colour (0xff00ffff);
    const auto darkOrange = Colour (0xffff8c00);

    setColour (mainBackgroundColourId, mainBackground);
    setColour (AlertWindow::backgroundColourId, mainBackground);
    setColour (AlertWindow::outlineColourId, orange);
    setColour (AlertWindow::textColourId, white);
    setColour (TextButton::buttonColourId, mainBackground);
    setColour (TextButton::buttonOnColourId, mainBackground.brighter (0.2f));
    setColour (TextButton::textColourOnId, Colour (0xff000000));
    setColour (TextButton::textColourOffId, white);
    setColour (ToggleButton::textColourId, cyan);
    setColour (ListBox::outlineColourId, grey);
    setColour (ListBox::backgroundColourId, mainBackground.brighter (0.6f));
    setColour (ListBox::textColourId, white);
    setColour (ComboBox::outlineColourId, grey);
    setColour (ComboBox::backgroundColourId, mainBackground.brighter (0.4f));
    setColour (ComboBox::textColourId, white);
    setColour (ComboBox::buttonColourId, orange);
    setColour (ComboBox::arrowColourId, white);
    setColour (ScrollBar::trackColourId, darkOrange);
    setColour (ScrollBar::thumbColourId, Colour (0xffbbbbdd));
    setColour (ScrollBar::backgroundColourId, mainBackground.darker (0.4f));
    setColour (Slider::thumbColourId, cyan);
    setColour (Slider::trackColourId, Colour (0x7f000000));
    setColour (Slider::textBoxOutlineColourId, Colour (0xffd3d3d3));
    setColour (Slider::rotarySliderFillColourId, cyan);
    setColour (Slider::rotarySliderOutlineColourId, darkOrange);
    setColour (Slider::textBoxBackgroundColourId, mainBackground);
    setColour (Slider::textBoxTextColourId, cyan);
    setColour (ProgressBar::backgroundColourId, white.withAlpha (0.6f));
    setColour (ProgressBar::foregroundColourId, Colour (0xff008000).withAlpha (0.7f));
    setColour (PopupMenu::backgroundColourId, Colour (0xffeef5f8));
    setColour (PopupMenu::highlightedBackgroundColourId, Colour (0xbfa4c2ce));
    setColour (PopupMenu::highlightedTextColourId, mainBackground);
    setColour (TextEditor::focusedOutlineColourId, findColour (TextButton::buttonColourId));
    setColour (TextEditor::highlightColourId, white);
    setColour (TextEditor::textColourId, white);
    setColour (Label::textColourId, white);
}

DravikLightLookAndFeel::~DravikLightLookAndFeel() = default;

String DravikLightLookAndFeel::getSansSerifTypefaceName()
{
    static const String name = []
    {
        const auto installed = Font::findAllTypefaceNames();

        for (auto candidate : { "Calibri", "Carlito" })
            if (installed.contains (candidate))
                return String (candidate);

        return Font::getDefaultSansSerifFontName();
    }();

    return name;
}

//==============================================================================
void DravikLightLookAndFeel::drawButtonBackground (Graphics& g, Button& button, const Colour& backgroundColour,
                                                   bool isMouseOverButton, bool isButtonDown)
{
    const auto w = button.getWidth();
    const auto h = button.getHeight();

    Path path;
    addRoundedBox (path, 0.5f, 0.5f, (float) (w - 1), (float) (h - 1), 1.0f);

    auto fill = backgroundColour.withMultipliedSaturation (0.3f);

    if (isMouseOverButton)
        fill = fill.brighter (isButtonDown ? 0.4f : 0.2f);

    g.setColour (fill);
    g.fillPath (path);

    g.setColour (orange.withAlpha (isMouseOverButton ? 1.0f : 0.8f));
    g.strokePath (path, PathStrokeType (isMouseOverButton ? 2.0f : 1.4f));
}

void DravikLightLookAndFeel::drawToggleButton (Graphics& g, ToggleButton& button, bool isMouseOverButton, bool)
{
    const auto w = button.getWidth();
    const auto h = button.getHeight();

    Path outer;
    addRoundedBox (outer, 1.0f, 1.0f, (float) (w - 2), (float) (h - 2), 0.0f);

    const auto base = findColour (TextButton::buttonColourId);
    auto outline = orange.withAlpha (isMouseOverButton && button.isEnabled() ? 1.0f : 0.8f);
    const auto thickness = isMouseOverButton ? 2.0f : 1.4f;

    g.setColour (isMouseOverButton ? base.brighter (0.2f) : base);
    g.fillPath (outer);

    auto textColour = findColour (ToggleButton::textColourId);

    if (button.getToggleState())
    {
        textColour = findColour (TextButton::textColourOnId).darker (0.9f);
        outline = outline.brighter (0.4f);

        Path glow;
        addRoundedBox (glow, 4.0f, 4.0f, (float) (w - 8), (float) (h - 8), 0.0f);
        g.setGradientFill (
            ColourGradient (Colour (0xffffffff), (float) (w / 2), (float) (h / 2), orange, (float) w, (float) h, true));
        g.fillPath (glow);
    }

    g.setColour (outline);
    g.strokePath (outer, PathStrokeType (thickness));

    g.setFont (Font (getSansSerifTypefaceName(), jmin (16.0f, (float) h * 0.6f), Font::plain));
    g.setColour (textColour);
    g.drawText (button.getButtonText(), 0, 0, w, h, Justification::centred, false);
}

void DravikLightLookAndFeel::drawTickBox (Graphics& g, Component&, float x, float y, float w, float h, bool ticked,
                                          bool isEnabled, bool, bool isButtonDown)
{
    Path box;
    addRoundedBox (box, 0.0f, 2.0f, 6.0f, 6.0f, 1.0f);
    const auto transform = AffineTransform::scale (w / 9.0f, h / 9.0f).translated (x, y);

    g.setColour (isEnabled ? Colour (0xff0000ff).withAlpha (isButtonDown ? 0.3f : 0.1f)
                           : Colour (0xffd3d3d3).withAlpha (0.1f));
    g.fillPath (box, transform);

    g.setColour (Colour (0xffffffff).withAlpha (0.6f));
    g.strokePath (box, PathStrokeType (0.9f), transform);

    if (ticked && isEnabled)
    {
        g.setColour (orange);
        g.fillPath (box, transform);
    }
}

//==============================================================================
void DravikLightLookAndFeel::drawLinearSliderThumb (Graphics& g, int x, int y, int width, int height, float sliderPos,
                                                    float minSliderPos, float maxSliderPos, Slider::SliderStyle style,
                                                    Slider& slider)
{
    const auto sr = (float) (getSliderThumbRadius (slider) - 2);
    const bool enabled = slider.isEnabled();
    const auto knob = createBaseColour (
        slider.findColour (Slider::thumbColourId, false), enabled && slider.hasKeyboardFocus (false),
        enabled && slider.isMouseOverOrDragging(), enabled && slider.isMouseButtonDown());
    const auto outline = enabled ? 0.8f : 0.3f;
    const auto left = (float) x, top = (float) y, w = (float) width, h = (float) height;

    if (style == Slider::LinearHorizontal || style == Slider::LinearVertical)
    {
        const auto cx = style == Slider::LinearHorizontal ? sliderPos : left + w * 0.5f;
        const auto cy = style == Slider::LinearHorizontal ? top + h * 0.5f : sliderPos;
        drawOutlinedRectangle (g, cx - sr, cy - sr * 0.5f, sr * 2.0f, sr, knob, Colour (0xffc0c0c0));
        return;
    }

    if (style == Slider::ThreeValueVertical)
        drawGlassSphere (g, left + w * 0.5f - sr, sliderPos - sr, sr * 2.0f, knob, outline);
    else if (style == Slider::ThreeValueHorizontal)
        drawGlassSphere (g, sliderPos - sr, top + h * 0.5f - sr, sr * 2.0f, knob, outline);

    if (style == Slider::TwoValueVertical || style == Slider::ThreeValueVertical)
    {
        const auto s = jmin (sr, w * 0.4f);
        drawGlassPointer (g, jmax (0.0f, left + w * 0.5f - sr * 2.0f), minSliderPos - sr, sr * 2.0f, knob, outline, 1);
        drawGlassPointer (g, jmin (left + w - sr * 2.0f, left + w * 0.5f), maxSliderPos - s, sr * 2.0f, knob, outline,
                          3);
    }
    else if (style == Slider::TwoValueHorizontal || style == Slider::ThreeValueHorizontal)
    {
        const auto s = jmin (sr, h * 0.4f);
        drawGlassPointer (g, minSliderPos - s, jmax (0.0f, top + h * 0.5f - sr * 2.0f), sr * 2.0f, knob, outline, 2);
        drawGlassPointer (g, maxSliderPos - sr, jmin (top + h - sr * 2.0f, top + h * 0.5f), sr * 2.0f, knob, outline,
                          4);
    }
}

void DravikLightLookAndFeel::drawRotarySlider (Graphics& g, int x, int y, int width, int height, float sliderPos,
                                               float rotaryStartAngle, float rotaryEndAngle, Slider& slider)
{
    const auto r = (float) jmin (width / 2, height / 2) - 2.0f;
    const auto centreX = (float) x + (float) width * 0.5f;
    const auto centreY = (float) y + (float) height * 0.5f;
    const auto size = r * 2.0f;
    const auto angle = rotaryStartAngle + sliderPos * (rotaryEndAngle - rotaryStartAngle);
    const bool enabled = slider.isEnabled();
    const bool hot = slider.isMouseOverOrDragging() && enabled;
    const Colour disabledColour (0x80808080);
    const auto placed = AffineTransform::rotation (angle).translated (centreX, centreY);

    g.setColour (enabled ? slider.findColour (Slider::rotarySliderFillColourId, false).withAlpha (hot ? 1.0f : 0.7f)
                         : disabledColour);

    if (r > 12.0f)
    {
        Path pointer;
        pointer.startNewSubPath (-0.2f * r, 0.0f);
        pointer.lineTo (0.0f, (0.7f * r) * -1.3f);
        pointer.lineTo (0.2f * r, 0.0f);
        pointer.closeSubPath();
        pointer.addEllipse (-0.2f * r, -0.2f * r, 0.4f * r, 0.4f * r);
        g.fillPath (pointer, placed);

        g.setColour (enabled ? slider.findColour (Slider::rotarySliderOutlineColourId, false) : disabledColour);

        Path ring;
        ring.addPieSegment (centreX - r, centreY - r, size, size, rotaryStartAngle, rotaryEndAngle, 0.7f);
        ring.closeSubPath();
        g.strokePath (ring, PathStrokeType (enabled ? (hot ? 2.0f : 1.2f) : 0.3f));
    }
    else
    {
        Path knob;
        knob.addEllipse (-0.4f * size, -0.4f * size, 0.8f * size, 0.8f * size);
        PathStrokeType (size * 0.1f).createStrokedPath (knob, knob, {}, 1.0f);
        knob.addLineSegment (Line<float> (0.0f, 0.0f, 0.0f, -r), size * 0.2f);
        g.fillPath (knob, placed);
    }
}

Label* DravikLightLookAndFeel::createSliderTextBox (Slider& slider)
{
    auto* label = new Label();
    label->setFont (Font (getSansSerifTypefaceName(), 10.0f, Font::plain));
    label->setJustificationType (Justification::centred);

    const bool bar = slider.getSliderStyle() == Slider::LinearBar
                  || slider.getSliderStyle() == Slider::LinearBarVertical;
    const auto text = slider.findColour (Slider::textBoxTextColourId, false);
    const auto background = slider.findColour (Slider::textBoxBackgroundColourId, false);
    const auto outline = slider.findColour (Slider::textBoxOutlineColourId, false);

    label->setColour (Label::textColourId, text);
    label->setColour (Label::backgroundColourId, bar ? Colours::transparentBlack : background);
    label->setColour (Label::outlineColourId, outline);
    label->setColour (TextEditor::textColourId, text);
    label->setColour (TextEditor::backgroundColourId, background.withAlpha (bar ? 0.7f : 1.0f));
    label->setColour (TextEditor::outlineColourId, outline);

    return label;
}

//==============================================================================
int DravikLightLookAndFeel::getTabButtonBestWidth (TabBarButton&, int)
{
    return 120;
}

void DravikLightLookAndFeel::drawTabButton (TabBarButton& button, Graphics& g, bool isMouseOver, bool isMouseDown)
{
    const auto area = button.getActiveArea();
    const auto c = getTabColour (button);

    g.setGradientFill (ColourGradient (c.brighter (0.1f), 0.0f, (float) area.getY(), c.darker (0.1f), 0.0f,
                                       (float) area.getBottom(), false));
    g.fillRect (area);

    g.setColour (button.findColour (mainBackgroundColourId, false).darker (0.3f));
    g.drawRect (area.toFloat(), 1.0f);

    const auto alpha = ! button.isEnabled() ? 0.3f : (isMouseOver || isMouseDown) ? 1.0f : 0.8f;

    TextLayout layout;
    ::createTabTextLayout (button, (float) area.getWidth(), (float) area.getHeight(),
                           c.contrasting (1.0f).withMultipliedAlpha (alpha), layout);
    layout.draw (g, button.getTextArea().toFloat());
}

void DravikLightLookAndFeel::drawTabAreaBehindFrontButton (TabbedButtonBar&, Graphics&, int, int) {}
