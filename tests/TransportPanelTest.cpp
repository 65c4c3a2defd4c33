#include "VelorinTest.h"
#include "ui/EffectsComponent.h"

// The transport panel: time format, volume law, buttons and learn targets, the read-out,
// the toggles and MIDI light, and the layout.

class TransportPanelTest : public ProcessorTest
{
protected:
    void click (juce::Button& button)
    {
        if (dynamic_cast<juce::ToggleButton*> (&button) != nullptr)
            button.setToggleState (! button.getToggleState(), juce::sendNotificationSync);   // flips, then clicked
        else
            panel.buttonClicked (&button);
    }

    void setLearning (bool on)   { if (panel.midiButton->getToggleState() != on) click (*panel.midiButton); }

    EffectsComponent panel { processor.get() };
};

TEST_F (TransportPanelTest, FormatTime)
{
    const std::pair<double, const char*> table[] = {
        { 0.0, "00:00:000" },     { 65.25, "01:05:250" },   { -65.25, "-01:05:250" }, { 3725.5, "62:05:500" },
        { 6000.0, "100:00:000" }, { -0.0, "00:00:000" },    { 59.9996, "01:00:000" }, { 0.0004, "00:00:000" },
        { -0.0004, "00:00:000" }, { 0.0015, "00:00:002" },  { 119.9999, "02:00:000" },
        { std::numeric_limits<double>::quiet_NaN(), "00:00:000" }, { std::numeric_limits<double>::infinity(), "00:00:000" } };
    for (const auto& [seconds, text] : table)
        EXPECT_EQ (formatTime (seconds), text) << seconds;
}

TEST_F (TransportPanelTest, ChildrenLayoutAndVolumeKnob)
{
    EXPECT_EQ (panel.getBounds(), juce::Rectangle<int> (0, 0, 640, 96));
    const juce::Component* order[] = { panel.volSlider.get(), panel.volLabel.get(), panel.playInfoLabel.get(), panel.nextButton.get(),
                                       panel.prevButton.get(), panel.playButton.get(), panel.repeatButton.get(), panel.cueButton.get(),
                                       panel.midiLabel.get(), panel.midiButton.get() };
    ASSERT_EQ (panel.getNumChildComponents(), 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ (panel.getChildComponent (i), order[i]) << i;
    for (auto [button, text] : { std::pair<juce::Button*, const char*> (panel.nextButton.get(), ">>"), { panel.prevButton.get(), "<<" },
                                 { panel.cueButton.get(), "CUE" }, { panel.midiButton.get(), "LEARN" } })
        EXPECT_EQ (button->getButtonText(), text);
    EXPECT_EQ (panel.volLabel->getText(), "VOL");
    EXPECT_EQ (panel.playButton->getTooltip(), "Shortcut: Space");
    EXPECT_FALSE (panel.volLabel->isEditable());
    EXPECT_TRUE (panel.volLabel->getFont().getTypefaceName() == "Calibri" || panel.volLabel->getFont().getTypefaceName() == "Carlito");

    EXPECT_EQ (panel.volSlider->getSliderStyle(), juce::Slider::Rotary);
    EXPECT_EQ (panel.volSlider->getRange(), juce::Range<double> (-60.0, 10.0));
    EXPECT_EQ (panel.volSlider->getValue(), 0.0);
    EXPECT_EQ (panel.volSlider->getTextFromValue (-6.0), "-6 dB");
    for (auto [decibels, gain] : { std::pair (0.0, 1.0f), { 9.0, 2.81838f }, { -6.0, 0.50119f }, { -60.0, 0.001f }, { 10.0, 3.0f } })
    {
        panel.volSlider->setValue (decibels, juce::sendNotificationSync);
        EXPECT_NEAR (processor->volume, gain, 1.0e-5f) << decibels;
    }
    EXPECT_EQ (processor->volume, 3.0f);   // exactly, at the top

    for (int height : { 80, 81 })
    {
        panel.setSize (784, height);
        for (auto [child, bounds] : { std::pair<juce::Component*, juce::Rectangle<int>> (panel.nextButton.get(), { 8, 10, 60, 30 }),
                                      { panel.prevButton.get(), { 8, 40, 60, 30 } }, { panel.playButton.get(), { 72, 10, 60, 60 } },
                                      { panel.repeatButton.get(), { 136, 10, 60, 60 } }, { panel.cueButton.get(), { 204, 10, 60, 60 } },
                                      { panel.playInfoLabel.get(), { 344, 10, 96, 60 } }, { panel.volSlider.get(), { 724, 16, 48, 60 } },
                                      { panel.volLabel.get(), { 724, 4, 48, 8 } }, { panel.midiLabel.get(), { 656, 28, 60, 12 } },
                                      { panel.midiButton.get(), { 656, 40, 60, 24 } } })
            EXPECT_EQ (child->getBounds(), bounds) << child->getName();
    }
    juce::Image image (juce::Image::ARGB, 784, 80, true);
    juce::Graphics g (image);
    panel.paint (g);
    EXPECT_EQ (image.getPixelAt (300, 2), juce::Colour (0xff102030));
}

TEST_F (TransportPanelTest, ButtonsActAndChooseLearnTargets)
{
    for (auto name : { "a.wav", "b.wav", "c.wav" })
        add (name);
    processor->selectTrack (0);
    click (*panel.nextButton);   // LEARN off: the button works and points learning at row 0
    EXPECT_EQ (processor->getCurrentIndex(), 1);
    EXPECT_EQ (processor->midiMap.learnIndex, 0);

    setLearning (true);          // LEARN on: each button's own action, switching LEARN on changes none
    EXPECT_TRUE (processor->midiMap.learning);
    EXPECT_EQ (processor->midiMap.learnIndex, 0);
    click (*panel.nextButton);
    EXPECT_EQ (processor->getCurrentIndex(), 2);
    EXPECT_EQ (processor->midiMap.learnIndex, 0);
    click (*panel.prevButton);
    EXPECT_EQ (processor->getCurrentIndex(), 1);
    EXPECT_EQ (processor->midiMap.learnIndex, 1);
    const bool paused = processor->paused;
    click (*panel.playButton);
    EXPECT_EQ (processor->paused, ! paused);
    EXPECT_EQ (processor->midiMap.learnIndex, 2);
    click (*panel.repeatButton);
    EXPECT_TRUE (processor->loopEnabled);
    EXPECT_EQ (processor->midiMap.learnIndex, 3);
    click (*panel.cueButton);    // CUE and LEARN never change the target
    setLearning (false);
    EXPECT_EQ (processor->midiMap.learnIndex, 3);
    EXPECT_FALSE (processor->midiMap.learning);

    processor->selectTrack (0);  // "<<" on the first entry pauses
    processor->paused = false;
    click (*panel.prevButton);
    EXPECT_TRUE (processor->paused);
    EXPECT_EQ (processor->getCurrentIndex(), 0);

    // CUE moves the shown entry: only its position while unloaded, its source once playing.
    auto& entry = *processor->playlist[0];
    entry.cue = 0.5f;
    entry.position = 1.25f;
    panel.currentTrack = nullptr;
    click (*panel.cueButton);
    EXPECT_EQ (entry.position, 1.25f);
    panel.currentTrack = &entry;
    click (*panel.cueButton);
    EXPECT_EQ (entry.position, 0.5f);
    processor->paused = false;
    render();
    render();
    ASSERT_NE (entry.source, nullptr);
    EXPECT_GT (processor->getEntryPositionSeconds (entry), 0.6f);
    click (*panel.cueButton);
    EXPECT_EQ (entry.source->getNextReadPosition(), 4000);
    EXPECT_FALSE (processor->paused);
}

TEST_F (TransportPanelTest, RefreshShowsTheReadOutTheFlagsAndTheMidiLight)
{
    panel.refresh();
    EXPECT_EQ (panel.playInfoLabel->getText(), "");
    auto& entry = add ("a.wav", 65.25);
    entry.position = 3725.5f;
    entry.cue = 1.5f;
    entry.loopA = 2.0f;
    entry.loopB = 2.5f;
    panel.currentTrack = &entry;
    panel.refresh();
    EXPECT_EQ (panel.playInfoLabel->getText(), "POS: 62:05:500\nLEN: 01:05:250\nCUE: 00:01:500\n  A: 00:02:000\n  B: 00:02:500");
    panel.currentTrack = nullptr;   // the last text stays
    panel.refresh();
    EXPECT_TRUE (panel.playInfoLabel->getText().startsWith ("POS: 62:05:500"));

    // The toggles follow the flags without a click.
    struct Counter : juce::Button::Listener { void buttonClicked (juce::Button*) override { ++clicks; } int clicks = 0; } counter;
    panel.playButton->addListener (&counter);
    panel.repeatButton->addListener (&counter);
    for (bool on : { true, false })
    {
        processor->paused = ! on;
        processor->loopEnabled = on;
        panel.refresh();
        EXPECT_EQ (panel.playButton->getToggleState(), on);
        EXPECT_EQ (panel.repeatButton->getToggleState(), on);
    }
    EXPECT_EQ (counter.clicks, 0);
    EXPECT_TRUE (processor->paused && ! processor->loopEnabled);
    panel.playButton->removeListener (&counter);
    panel.repeatButton->removeListener (&counter);

    // The light: grey, green on activity, dark red while learning, red on activity then; once.
    for (auto [learn, activity, colour] : { std::tuple (false, false, 0xff808080u), { false, true, 0xff7fff00u }, { true, false, 0xff8b0000u }, { true, true, 0xffff0000u } })
    {
        setLearning (learn);
        processor->midiActivity = activity;
        panel.refresh();
        EXPECT_EQ (panel.midiLabel->findColour (juce::Label::textColourId), juce::Colour (colour)) << learn << activity;
        EXPECT_FALSE (processor->midiActivity);
    }
}
