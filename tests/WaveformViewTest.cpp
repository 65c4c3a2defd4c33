#include "VelorinTest.h"
#include "ui/WaveformView.h"

// The waveform view: following, zoom, markers, the drag and the marker menu's choice.

class WaveformViewTest : public ProcessorTest
{
protected:
    WaveformViewTest()
    {
        formats.registerBasicFormats();
        processor->setRateAndBufferSizeDetails (1000.0, 100);
        view.setSize (784, 160);
    }

    /** A mono file at 1 kHz: long files stay small. */
    PlaylistEntry& addLong (const juce::String& name, double seconds)   { return add (name, seconds, 1, 1000.0); }

    static juce::Rectangle<float> boundsOf (const juce::DrawableRectangle& marker)
    {
        const auto p = marker.getRectangle();
        return { p.topLeft.x, p.topLeft.y, p.topRight.x - p.topLeft.x, p.bottomLeft.y - p.topLeft.y };
    }

    /** A mouse event at x, the button pressed at pressX. */
    juce::MouseEvent eventAt (int x, int pressX)
    {
        return { juce::Desktop::getInstance().getMainMouseSource(), { (float) x, 50.0f }, {}, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
                 &view, &view, juce::Time(), { (float) pressX, 50.0f }, juce::Time(), 1, true };
    }

    void wheel (float deltaY)
    {
        juce::MouseWheelDetails details {};
        details.deltaY = deltaY;
        view.mouseWheelMove (eventAt (0, 0), details);
    }

    juce::AudioFormatManager formats;
    WaveformView view { formats, *processor };
};

TEST_F (WaveformViewTest, SpansTheFileAroundTheMiddleAndFollows)
{
    auto& entry = addLong ("ten.wav", 10.0);
    view.setSource (&entry);
    EXPECT_EQ (view.visibleRange, juce::Range<double> (-5.0, 5.0));
    EXPECT_EQ (view.scrollbar.getRangeLimit(), juce::Range<double> (0.0, 10.0));
    EXPECT_TRUE (view.positionMarker.isVisible());
    processor->moveEntryTo (entry, 3.0f);
    view.timerCallback();
    EXPECT_EQ (view.visibleRange, juce::Range<double> (-2.0, 8.0));

    view.setSource (&addLong ("half.wav", 0.5));   // keeps the middle, never under a second
    EXPECT_EQ (view.visibleRange, juce::Range<double> (2.5, 3.5));
    EXPECT_EQ (view.zoom, 0.0f);

    view.setSource (nullptr);
    EXPECT_EQ (view.currentTrack, nullptr);
    EXPECT_FALSE (view.positionMarker.isVisible() || view.cueMarker.isVisible() || view.loopMarker.isVisible());
    EXPECT_EQ (view.thumbnail.getTotalLength(), 0.0);
    const auto image = view.createComponentSnapshot (view.getLocalBounds());
    EXPECT_EQ (image.getPixelAt (1, 1), juce::Colour (0xff555555));
    int text = 0;   // "(No audio file selected)"
    for (int x = 250; x < 530; ++x)
        for (int y = 60; y < 100; ++y)
            text += image.getPixelAt (x, y).getBlue() > 0x90 ? 1 : 0;
    EXPECT_GT (text, 50);
}

TEST_F (WaveformViewTest, MarkersAndPaint)
{
    auto& entry = addLong ("ten.wav", 10.0);
    view.setSource (&entry);
    entry.cue = 2.5f;
    entry.loopA = 2.0f;
    entry.loopB = 5.0f;
    processor->moveEntryTo (entry, 1.0f);
    view.setRange ({ 0.0, 10.0 });

    // Above the 10 px scroll bar, markers are 150 high.
    EXPECT_EQ (boundsOf (view.cueMarker), juce::Rectangle<float> (196.0f, 0.0f, 1.5f, 150.0f));
    EXPECT_EQ (boundsOf (view.positionMarker), juce::Rectangle<float> (78.4f - 0.75f, 0.0f, 1.5f, 150.0f));
    EXPECT_FLOAT_EQ (boundsOf (view.loopMarker).getX(), 156.8f);
    EXPECT_FLOAT_EQ (boundsOf (view.loopMarker).getWidth(), 392.0f - 156.8f);
    entry.loopA = 5.0f;   // A after B: a one-pixel strip at A
    entry.loopB = 2.0f;
    view.updateMarkers();
    EXPECT_EQ (boundsOf (view.loopMarker), juce::Rectangle<float> (392.0f, 0.0f, 1.0f, 150.0f));
    entry.loopB = 5.0f;   // A equal to B: no width
    view.updateMarkers();
    EXPECT_EQ (boundsOf (view.loopMarker).getWidth(), 0.0f);

    // The quiet test signal is a light-blue line in every column of the file.
    view.setRange ({ 0.0, 10.0 });
    for (int i = 0; i < 500 && ! view.thumbnail.isFullyLoaded(); ++i)
        juce::Thread::sleep (5);
    ASSERT_TRUE (view.thumbnail.isFullyLoaded());
    EXPECT_EQ (view.scrollbar.getBounds(), juce::Rectangle<int> (2, 148, 780, 10));
    juce::Image image (juce::Image::ARGB, 784, 160, true);
    {
        juce::Graphics g (image);
        view.paint (g);
    }
    int columns = 0;
    for (int x = 10; x < 774; ++x)
    {
        bool inked = false;
        for (int y = 2; y < 142; ++y)
            inked = inked || image.getPixelAt (x, y).getBlue() > 0x80;
        columns += inked ? 1 : 0;
    }
    EXPECT_GT (columns, 700);
    EXPECT_EQ (image.getPixelAt (100, 144), juce::Colour (0xff555555));
}

TEST_F (WaveformViewTest, UnopenableFilesShowNothingAndPlaceNoMarkers)
{
    const auto garbage = audio.getChildFile ("garbage.wav");
    ASSERT_TRUE (garbage.replaceWithText ("not audio"));
    processor->addFile (garbage);
    const auto broken = audioFile ("broken.aif", 44100.0, 2, 0.1, 16);   // a header that makes the reader loop forever
    juce::MemoryBlock bytes;
    broken.loadFileAsData (bytes);
    static_cast<char*> (bytes.getData())[12 + 14] = 0x7f;
    static_cast<char*> (bytes.getData())[12 + 15] = (char) 0xff;
    broken.replaceWithData (bytes.getData(), bytes.getSize());
    ASSERT_EQ (juce::String (static_cast<const char*> (bytes.getData()) + 12, 4), "COMM");
    processor->addFile (broken);

    for (auto* entry : processor->playlist)
    {
        view.setSource (entry);
        EXPECT_EQ (view.thumbnail.getTotalLength(), 0.0);
        EXPECT_EQ (view.scrollbar.getRangeLimit(), juce::Range<double>());
        EXPECT_EQ (view.visibleRange, juce::Range<double>());
        view.timerCallback();   // the range stays empty: nothing to divide by
        EXPECT_TRUE (boundsOf (view.cueMarker).isFinite() && boundsOf (view.positionMarker).isFinite());
    }
    wheel (1.0f);
    EXPECT_EQ (view.zoom, 0.0f);
}

TEST_F (WaveformViewTest, WheelZoomsInTenthsUpTo099)
{
    wheel (1.0f);   // nothing shown: nothing changes
    EXPECT_EQ (view.zoom, 0.0f);
    view.setSource (&addLong ("long.wav", 300.0));
    for (int step = 1; step <= 9; ++step)
    {
        wheel (0.5f);
        EXPECT_NEAR (view.zoom, 0.1f * (float) step, 1.0e-5f);
    }
    wheel (3.0f);
    EXPECT_EQ (view.zoom, 0.99f);
    EXPECT_NEAR (view.visibleRange.getLength(), 3.0, 1.0e-4);
    wheel (-0.01f);
    EXPECT_NEAR (view.zoom, 0.89f, 1.0e-5f);
    wheel (0.0f);   // no vertical movement: no step
    EXPECT_NEAR (view.zoom, 0.89f, 1.0e-5f);
    for (int i = 0; i < 12; ++i)
        wheel (-1.0f);
    EXPECT_EQ (view.zoom, 0.0f);
    EXPECT_NEAR (view.visibleRange.getLength(), 300.0, 1.0e-9);
    view.setSource (&addLong ("fifty.wav", 50.0));
    view.setZoomFactor (0.99);
    EXPECT_EQ (view.visibleRange.getLength(), 1.0);
}

TEST_F (WaveformViewTest, DragMovesOneSecondPerEventAndClamps)
{
    view.mouseDrag (eventAt (10, 5));   // nothing shown: nothing happens
    auto& entry = addLong ("ten.wav", 10.0);
    view.setSource (&entry);
    processor->moveEntryTo (entry, 0.4f);
    view.mouseDrag (eventAt (101, 100));   // right of the press: earlier, clamped at 0
    EXPECT_EQ (entry.position, 0.0f);
    view.mouseDrag (eventAt (101, 100));
    EXPECT_EQ (entry.position, 0.0f);
    view.mouseDrag (eventAt (100, 100));   // straight above or below: later
    view.mouseDrag (eventAt (40, 100));
    EXPECT_EQ (entry.position, 2.0f);
    processor->moveEntryTo (entry, 9.5f);
    view.mouseDrag (eventAt (0, 100));
    EXPECT_EQ (entry.position, 10.0f);     // clamped at the length

    processor->selectTrack (0);            // a loaded entry moves its source
    processor->paused = false;
    juce::AudioBuffer<float> buffer (2, 100);
    testkit::renderBlock (*processor, buffer);
    ASSERT_NE (entry.source, nullptr);
    processor->moveEntryTo (entry, 5.0f);
    view.mouseDrag (eventAt (200, 100));
    EXPECT_EQ (entry.source->getNextReadPosition(), 4000);
    EXPECT_EQ (processor->getEntryPositionSeconds (entry), 4.0f);
}

TEST_F (WaveformViewTest, MarkerMenuChoicesGoToTheEntryOfTheClick)
{
    auto& entry = addLong ("ten.wav", 10.0);
    view.setSource (&entry);
    EXPECT_FLOAT_EQ (view.timeAtX (0), -5.0f);   // not clamped to the file
    EXPECT_FLOAT_EQ (view.timeAtX (392), 0.0f);

    // Choice, time: 1 cue, 2 A (B stays), 3 B (at or before A: A + 1), 0 nothing.
    for (auto [choice, time, cue, a, b] : { std::tuple (1, -5.0f, -5.0f, 0.0f, 0.0f), { 2, 4.0f, -5.0f, 4.0f, 0.0f }, { 3, 4.0f, -5.0f, 4.0f, 5.0f },
                                            { 3, 7.5f, -5.0f, 4.0f, 7.5f }, { 2, 8.0f, -5.0f, 8.0f, 7.5f }, { 0, 1.0f, -5.0f, 8.0f, 7.5f } })
    {
        WaveformView::PopupCallback (&entry, time).modalStateFinished (choice);
        EXPECT_TRUE (entry.cue == cue && entry.loopA == a && entry.loopB == b) << choice << " at " << time;
    }
    WaveformView::PopupCallback (nullptr, 1.0f).modalStateFinished (1);

    WaveformView::PopupCallback pending (&entry, 2.0f);   // the entry goes while the menu is open
    view.setSource (nullptr);
    processor->removeEntry (0);
    pending.modalStateFinished (1);
    EXPECT_EQ (pending.entry.get(), nullptr);
}
