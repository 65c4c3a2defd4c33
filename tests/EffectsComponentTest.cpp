#include "TestSupport.h"
#include "ui/EffectsComponent.h"

// The transport panel: time format, volume law, buttons and learn targets, the read-out,
// the toggles and MIDI light, and the layout.

using FormatTimeTest = TempHomeTest;

TEST_F (FormatTimeTest, Table)
{
    const std::pair<double, const char*> table[] = {
        { 0.0, "00:00:000" },       { 65.25, "01:05:250" },      { -65.25, "-01:05:250" },
        { 3725.5, "62:05:500" },    { 6000.0, "100:00:000" },    { -0.0, "00:00:000" },
        { 59.9996, "01:00:000" },   { 0.0004, "00:00:000" },     { -0.0004, "00:00:000" },
        { 0.0015, "00:00:002" },    { 119.9999, "02:00:000" },
        { std::numeric_limits<double>::quiet_NaN(), "00:00:000" },
        { std::numeric_limits<double>::infinity(), "00:00:000" },
    };

    for (const auto& [seconds, text] : table)
        EXPECT_EQ (formatTime (seconds), text) << seconds;
}

namespace
{
    struct ClickCounter : juce::Button::Listener
    {
        void buttonClicked (juce::Button*) override   { ++clicks; }
        int clicks = 0;
    };
}

class EffectsComponentTest : public TempHomeTest
{
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        processor = std::make_unique<ReplayProcessor>();
        processor->setRateAndBufferSizeDetails (8000.0, 800);
        panel = std::make_unique<EffectsComponent> (processor.get());
    }

    void TearDown() override
    {
        panel.reset();
        processor.reset();
        TempHomeTest::TearDown();
    }

    PlaylistEntry& addEntry (const juce::String& name, double seconds = 2.0)
    {
        const auto file = audioFolder().getChildFile (name);
        testaudio::write (file, 8000.0, 2, (juce::int64) (seconds * 8000.0));
        processor->addFile (file);
        return *processor->playlist.getLast();
    }

    void click (juce::Button& button)
    {
        if (dynamic_cast<juce::ToggleButton*> (&button) != nullptr)
            button.setToggleState (! button.getToggleState(), juce::sendNotificationSync);   // flips, then clicked
        else
            panel->buttonClicked (&button);
    }

    void setLearning (bool on)
    {
        if (panel->midiButton->getToggleState() != on)
            click (*panel->midiButton);
    }

    juce::Colour midiLight() const   { return panel->midiLabel->findColour (juce::Label::textColourId); }

    std::unique_ptr<ReplayProcessor> processor;
    std::unique_ptr<EffectsComponent> panel;
};

TEST_F (EffectsComponentTest, ChildrenInCreationOrderWithTheirNamesAndTexts)
{
    EXPECT_EQ (panel->getWidth(), 640);
    EXPECT_EQ (panel->getHeight(), 96);

    const juce::Component* expected[] = { panel->volSlider.get(), panel->volLabel.get(), panel->playInfoLabel.get(),
                                          panel->nextButton.get(), panel->prevButton.get(), panel->playButton.get(),
                                          panel->repeatButton.get(), panel->cueButton.get(), panel->midiLabel.get(),
                                          panel->midiButton.get() };
    ASSERT_EQ (panel->getNumChildComponents(), 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ (panel->getChildComponent (i), expected[i]) << i;

    EXPECT_EQ (panel->volSlider->getName(), "volSlider");
    EXPECT_EQ (panel->prevButton->getName(), "new button");
    EXPECT_EQ (panel->volLabel->getText(), "VOL");
    EXPECT_EQ (panel->nextButton->getButtonText(), ">>");
    EXPECT_EQ (panel->prevButton->getButtonText(), "<<");
    EXPECT_EQ (panel->cueButton->getButtonText(), "CUE");
    EXPECT_EQ (panel->midiButton->getButtonText(), "LEARN");
    EXPECT_EQ (panel->playButton->getTooltip(), "Shortcut: Space");
    EXPECT_TRUE (panel->repeatButton->getTooltip().startsWith ("Right-click on the waveform to set loop points."));
    EXPECT_TRUE (panel->cueButton->getTooltip().endsWith ("to jump to the CUE point."));

    EXPECT_EQ (panel->volSlider->getValue(), 0.0);
    EXPECT_EQ (panel->volSlider->getTextFromValue (-6.0), "-6 dB");
    EXPECT_EQ (panel->volSlider->getMinimum(), -60.0);
    EXPECT_EQ (panel->volSlider->getMaximum(), 10.0);
    EXPECT_EQ (panel->volSlider->getSliderStyle(), juce::Slider::Rotary);
    EXPECT_FALSE (panel->volLabel->isEditable());

    // Text must never be drawn in a font that isn't there.
    const auto typeface = panel->volLabel->getFont().getTypefaceName();
    EXPECT_TRUE (typeface == "Calibri" || typeface == "Carlito") << typeface;
}

TEST_F (EffectsComponentTest, VolumeFollowsTheKnobInDecibels)
{
    const std::pair<double, float> table[] = { { 0.0, 1.0f }, { 10.0, 3.0f }, { 9.0, 2.81838f },
                                               { -6.0, 0.50119f }, { -60.0, 0.001f } };

    for (const auto& [decibels, gain] : table)
    {
        panel->volSlider->setValue (decibels, juce::sendNotificationSync);
        EXPECT_NEAR (processor->volume, gain, 1.0e-5f) << decibels;
    }

    panel->volSlider->setValue (10.0, juce::sendNotificationSync);
    EXPECT_EQ (processor->volume, 3.0f);   // clamped exactly
}

TEST_F (EffectsComponentTest, TransportButtonsActAndChooseLearnTargets)
{
    addEntry ("a.wav");
    addEntry ("b.wav");
    addEntry ("c.wav");
    processor->selectTrack (0);

    // LEARN off: each button does its work and points learning at row 0.
    click (*panel->nextButton);
    EXPECT_EQ (processor->getCurrentIndex(), 1);
    EXPECT_EQ (processor->midiMap.learnIndex, 0);

    // LEARN on: the button's own action number.
    setLearning (true);
    EXPECT_TRUE (processor->midiMap.learning);
    EXPECT_EQ (processor->midiMap.learnIndex, 0);   // switching LEARN on changes no target

    click (*panel->nextButton);
    EXPECT_EQ (processor->getCurrentIndex(), 2);
    EXPECT_EQ (processor->midiMap.learnIndex, 0);

    click (*panel->prevButton);
    EXPECT_EQ (processor->getCurrentIndex(), 1);
    EXPECT_EQ (processor->midiMap.learnIndex, 1);

    const bool paused = processor->paused;
    click (*panel->playButton);
    EXPECT_EQ (processor->paused, ! paused);
    EXPECT_EQ (processor->midiMap.learnIndex, 2);

    click (*panel->repeatButton);
    EXPECT_TRUE (processor->loopEnabled);
    EXPECT_EQ (processor->midiMap.learnIndex, 3);

    click (*panel->cueButton);                         // CUE and LEARN never change the target
    setLearning (false);
    EXPECT_EQ (processor->midiMap.learnIndex, 3);
    EXPECT_FALSE (processor->midiMap.learning);

    // "<<" on the first entry pauses; ">>" past the last reloads the last.
    processor->selectTrack (0);
    processor->paused = false;
    click (*panel->prevButton);
    EXPECT_TRUE (processor->paused);
    EXPECT_EQ (processor->getCurrentIndex(), 0);
}

TEST_F (EffectsComponentTest, CueMovesTheShownEntryThroughTheEngine)
{
    click (*panel->cueButton);   // nothing shown: nothing happens

    auto& entry = addEntry ("a.wav");
    entry.cue = 0.5f;
    panel->currentTrack = &entry;
    entry.position = 1.25f;

    click (*panel->cueButton);   // no source yet: only the position
    EXPECT_EQ (entry.position, 0.5f);

    processor->paused = false;
    juce::AudioBuffer<float> buffer (2, 800);
    testaudio::renderBlock (*processor, buffer);
    testaudio::renderBlock (*processor, buffer);
    ASSERT_NE (entry.source, nullptr);
    EXPECT_GT (processor->getEntryPositionSeconds (entry), 0.6f);

    click (*panel->cueButton);
    EXPECT_EQ (entry.source->getNextReadPosition(), 4000);
    EXPECT_FALSE (processor->paused);
}

TEST_F (EffectsComponentTest, RefreshWritesTheReadOut)
{
    panel->refresh();
    EXPECT_EQ (panel->playInfoLabel->getText(), "");

    auto& entry = addEntry ("a.wav", 65.25);
    entry.position = 3725.5f;
    entry.cue = 1.5f;
    entry.loopA = 2.0f;
    entry.loopB = 2.5f;
    panel->currentTrack = &entry;
    panel->refresh();

    EXPECT_EQ (panel->playInfoLabel->getText(),
               "POS: 62:05:500\nLEN: 01:05:250\nCUE: 00:01:500\n  A: 00:02:000\n  B: 00:02:500");

    panel->currentTrack = nullptr;   // the last text stays
    panel->refresh();
    EXPECT_TRUE (panel->playInfoLabel->getText().startsWith ("POS: 62:05:500"));
}

TEST_F (EffectsComponentTest, TogglesFollowTheFlagsWithoutClicking)
{
    ClickCounter counter;
    panel->playButton->addListener (&counter);
    panel->repeatButton->addListener (&counter);

    processor->paused = false;
    processor->loopEnabled = true;
    panel->refresh();
    EXPECT_TRUE (panel->playButton->getToggleState());
    EXPECT_TRUE (panel->repeatButton->getToggleState());

    processor->paused = true;
    processor->loopEnabled = false;
    panel->refresh();
    EXPECT_FALSE (panel->playButton->getToggleState());
    EXPECT_FALSE (panel->repeatButton->getToggleState());

    EXPECT_EQ (counter.clicks, 0);
    EXPECT_TRUE (processor->paused);
    EXPECT_FALSE (processor->loopEnabled);

    panel->playButton->removeListener (&counter);
    panel->repeatButton->removeListener (&counter);
}

TEST_F (EffectsComponentTest, MidiLightShowsActivityOnceAndClearsIt)
{
    const std::tuple<bool, bool, juce::uint32> table[] = { { false, false, 0xff808080 }, { false, true, 0xff7fff00 },
                                                          { true, false, 0xff8b0000 }, { true, true, 0xffff0000 } };

    for (const auto& [learn, activity, colour] : table)
    {
        setLearning (learn);
        processor->midiActivity = activity;
        panel->refresh();
        EXPECT_EQ (midiLight(), juce::Colour (colour)) << learn << activity;
        EXPECT_FALSE (processor->midiActivity);
    }
}

TEST_F (EffectsComponentTest, LayoutAtTheEditorsHeight)
{
    for (int height : { 80, 81 })
    {
        panel->setSize (784, height);
        EXPECT_EQ (panel->nextButton->getBounds(), juce::Rectangle<int> (8, 10, 60, 30));
        EXPECT_EQ (panel->prevButton->getBounds(), juce::Rectangle<int> (8, 40, 60, 30));
        EXPECT_EQ (panel->playButton->getBounds(), juce::Rectangle<int> (72, 10, 60, 60));
        EXPECT_EQ (panel->repeatButton->getBounds(), juce::Rectangle<int> (136, 10, 60, 60));
        EXPECT_EQ (panel->cueButton->getBounds(), juce::Rectangle<int> (204, 10, 60, 60));
        EXPECT_EQ (panel->playInfoLabel->getBounds(), juce::Rectangle<int> (344, 10, 96, 60));
        EXPECT_EQ (panel->volSlider->getBounds(), juce::Rectangle<int> (724, 16, 48, 60));
        EXPECT_EQ (panel->volLabel->getBounds(), juce::Rectangle<int> (724, 4, 48, 8));
        EXPECT_EQ (panel->midiLabel->getBounds(), juce::Rectangle<int> (656, 28, 60, 12));
        EXPECT_EQ (panel->midiButton->getBounds(), juce::Rectangle<int> (656, 40, 60, 24));
    }

    juce::Image image (juce::Image::ARGB, 784, 80, true);
    juce::Graphics g (image);
    panel->paint (g);
    EXPECT_EQ (image.getPixelAt (300, 2), juce::Colour (0xff102030));
}
