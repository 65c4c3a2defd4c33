#include "TestSupport.h"
#include "ui/WaveformView.h"

// The waveform view: following, zoom, markers, the drag and the marker menu's choice.

class WaveformViewTest : public TempHomeTest
{
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        formatManager.registerBasicFormats();
        processor = std::make_unique<ReplayProcessor>();
        processor->setRateAndBufferSizeDetails (1000.0, 100);
        view = std::make_unique<WaveformView> (formatManager, *processor);
        view->setSize (784, 160);
    }

    void TearDown() override
    {
        view.reset();
        processor.reset();
        TempHomeTest::TearDown();
    }

    /** A mono file at 1 kHz: long files stay small. */
    PlaylistEntry& addEntry (const juce::String& name, double seconds)
    {
        const auto file = audioFolder().getChildFile (name);
        testaudio::write (file, 1000.0, 1, (juce::int64) (seconds * 1000.0), 16);
        processor->addFile (file);
        return *processor->playlist.getLast();
    }

    static juce::Rectangle<float> boundsOf (const juce::DrawableRectangle& marker)
    {
        const auto p = marker.getRectangle();
        return { p.topLeft.x, p.topLeft.y, p.topRight.x - p.topLeft.x, p.bottomLeft.y - p.topLeft.y };
    }

    void wheel (float deltaY)
    {
        juce::MouseWheelDetails details {};
        details.deltaY = deltaY;
        view->mouseWheelMove (eventAt (0, 0), details);
    }

    /** A drag event at x with the button pressed at pressX. */
    juce::MouseEvent eventAt (int x, int pressX) const
    {
        return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), { (float) x, 50.0f }, {},
                                 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, view.get(), view.get(), juce::Time(),
                                 { (float) pressX, 50.0f }, juce::Time(), 1, true);
    }

    juce::AudioFormatManager formatManager;
    std::unique_ptr<ReplayProcessor> processor;
    std::unique_ptr<WaveformView> view;
};

TEST_F (WaveformViewTest, FirstShowSpansTheFileAroundTheOldMiddleThenFollows)
{
    auto& entry = addEntry ("ten.wav", 10.0);
    view->setSource (&entry);

    EXPECT_EQ (view->visibleRange, juce::Range<double> (-5.0, 5.0));
    EXPECT_EQ (view->scrollbar.getRangeLimit(), juce::Range<double> (0.0, 10.0));
    EXPECT_TRUE (view->positionMarker.isVisible());

    processor->moveEntryTo (entry, 3.0f);
    view->timerCallback();
    EXPECT_EQ (view->visibleRange, juce::Range<double> (-2.0, 8.0));

    // The next file keeps the middle, with its own length.
    auto& shorter = addEntry ("half.wav", 0.5);
    view->setSource (&shorter);
    EXPECT_EQ (view->visibleRange, juce::Range<double> (2.5, 3.5));   // never under a second
    EXPECT_EQ (view->zoom, 0.0f);
}

TEST_F (WaveformViewTest, NoSourceHidesTheMarkersAndEmptiesTheThumbnail)
{
    auto& entry = addEntry ("a.wav", 2.0);
    view->setSource (&entry);
    view->setSource (nullptr);

    EXPECT_EQ (view->currentTrack, nullptr);
    EXPECT_FALSE (view->positionMarker.isVisible());
    EXPECT_FALSE (view->cueMarker.isVisible());
    EXPECT_FALSE (view->loopMarker.isVisible());
    EXPECT_EQ (view->thumbnail.getTotalLength(), 0.0);

    const auto image = view->createComponentSnapshot (view->getLocalBounds());
    EXPECT_EQ (image.getPixelAt (1, 1), juce::Colour (0xff555555));

    int textPixels = 0;
    for (int x = 250; x < 530; ++x)
        for (int y = 60; y < 100; ++y)
            if (image.getPixelAt (x, y).getBlue() > 0x90)
                ++textPixels;
    EXPECT_GT (textPixels, 50);   // "(No audio file selected)"
}

TEST_F (WaveformViewTest, MarkersArePlacedForTheVisibleRange)
{
    auto& entry = addEntry ("ten.wav", 10.0);
    view->setSource (&entry);
    entry.cue = 2.5f;
    entry.loopA = 2.0f;
    entry.loopB = 5.0f;
    processor->moveEntryTo (entry, 1.0f);
    view->setRange ({ 0.0, 10.0 });

    // The scroll bar is 10 high, so markers are 150 high.
    EXPECT_EQ (boundsOf (view->cueMarker), juce::Rectangle<float> (196.0f, 0.0f, 1.5f, 150.0f));
    EXPECT_EQ (boundsOf (view->positionMarker), juce::Rectangle<float> (78.4f - 0.75f, 0.0f, 1.5f, 150.0f));
    const auto loop = boundsOf (view->loopMarker);
    EXPECT_FLOAT_EQ (loop.getX(), 156.8f);
    EXPECT_FLOAT_EQ (loop.getWidth(), 392.0f - 156.8f);

    entry.loopA = 5.0f;   // A after B: a one-pixel strip at A
    entry.loopB = 2.0f;
    view->updateMarkers();
    EXPECT_EQ (boundsOf (view->loopMarker), juce::Rectangle<float> (392.0f, 0.0f, 1.0f, 150.0f));

    entry.loopB = 5.0f;   // A equal to B: no width
    view->updateMarkers();
    EXPECT_EQ (boundsOf (view->loopMarker).getWidth(), 0.0f);
}

TEST_F (WaveformViewTest, UnopenableFilesShowNothingAndPlaceNoMarkers)
{
    const auto garbage = audioFolder().getChildFile ("garbage.wav");
    ASSERT_TRUE (garbage.replaceWithText ("not audio"));
    processor->addFile (garbage);

    // A header that would make the reader loop forever.
    const auto broken = audioFolder().getChildFile ("broken.aif");
    testaudio::write (broken, 44100.0, 2, 4410, 16);
    testaudio::patchAiffComm (broken, 14, 0x7fff);
    processor->addFile (broken);

    for (auto* entry : processor->playlist)
    {
        view->setSource (entry);
        EXPECT_EQ (view->thumbnail.getTotalLength(), 0.0);
        EXPECT_EQ (view->scrollbar.getRangeLimit(), juce::Range<double>());
        EXPECT_EQ (view->visibleRange, juce::Range<double>());

        view->timerCallback();   // the range stays empty: nothing to divide by
        EXPECT_TRUE (boundsOf (view->cueMarker).isFinite());
        EXPECT_TRUE (boundsOf (view->positionMarker).isFinite());
    }

    wheel (1.0f);
    EXPECT_EQ (view->zoom, 0.0f);
}

TEST_F (WaveformViewTest, WheelZoomsInTenthsUpTo099)
{
    wheel (1.0f);   // nothing shown: nothing changes
    EXPECT_EQ (view->zoom, 0.0f);

    auto& entry = addEntry ("long.wav", 300.0);
    view->setSource (&entry);

    for (int step = 1; step <= 9; ++step)
    {
        wheel (0.5f);
        EXPECT_NEAR (view->zoom, 0.1f * (float) step, 1.0e-5f);
    }

    wheel (3.0f);
    EXPECT_EQ (view->zoom, 0.99f);
    EXPECT_NEAR (view->visibleRange.getLength(), 3.0, 1.0e-4);   // 300 s at 0.99

    wheel (-0.01f);
    EXPECT_NEAR (view->zoom, 0.89f, 1.0e-5f);

    wheel (0.0f);    // no vertical movement: no step
    EXPECT_NEAR (view->zoom, 0.89f, 1.0e-5f);

    for (int i = 0; i < 12; ++i)
        wheel (-1.0f);
    EXPECT_EQ (view->zoom, 0.0f);
    EXPECT_NEAR (view->visibleRange.getLength(), 300.0, 1.0e-9);

    auto& fifty = addEntry ("fifty.wav", 50.0);
    view->setSource (&fifty);
    view->setZoomFactor (0.99);
    EXPECT_EQ (view->visibleRange.getLength(), 1.0);
}

TEST_F (WaveformViewTest, DragMovesOneSecondPerEventAndClamps)
{
    view->mouseDrag (eventAt (10, 5));   // nothing shown: nothing happens

    auto& entry = addEntry ("ten.wav", 10.0);
    view->setSource (&entry);
    processor->moveEntryTo (entry, 0.4f);

    view->mouseDrag (eventAt (101, 100));   // right of the press: earlier, clamped at 0
    EXPECT_EQ (entry.position, 0.0f);
    view->mouseDrag (eventAt (101, 100));
    EXPECT_EQ (entry.position, 0.0f);

    view->mouseDrag (eventAt (100, 100));   // straight above or below: later
    view->mouseDrag (eventAt (40, 100));
    EXPECT_EQ (entry.position, 2.0f);

    processor->moveEntryTo (entry, 9.5f);
    view->mouseDrag (eventAt (0, 100));
    EXPECT_EQ (entry.position, 10.0f);      // clamped at the length

    // A loaded entry moves its source.
    processor->selectTrack (0);
    processor->paused = false;
    juce::AudioBuffer<float> buffer (2, 100);
    testaudio::renderBlock (*processor, buffer);
    ASSERT_NE (entry.source, nullptr);
    processor->moveEntryTo (entry, 5.0f);
    view->mouseDrag (eventAt (200, 100));
    EXPECT_EQ (entry.source->getNextReadPosition(), 4000);
    EXPECT_EQ (processor->getEntryPositionSeconds (entry), 4.0f);
}

TEST_F (WaveformViewTest, MarkerMenuChoicesGoToTheEntryOfTheClick)
{
    auto& entry = addEntry ("ten.wav", 10.0);
    view->setSource (&entry);
    EXPECT_FLOAT_EQ (view->timeAtX (0), -5.0f);     // not clamped to the file
    EXPECT_FLOAT_EQ (view->timeAtX (392), 0.0f);

    WaveformView::PopupCallback (&entry, -5.0f).modalStateFinished (1);
    EXPECT_EQ (entry.cue, -5.0f);

    WaveformView::PopupCallback (&entry, 4.0f).modalStateFinished (2);
    EXPECT_EQ (entry.loopA, 4.0f);
    WaveformView::PopupCallback (&entry, 4.0f).modalStateFinished (3);   // at A: A + 1
    EXPECT_EQ (entry.loopB, 5.0f);
    WaveformView::PopupCallback (&entry, 7.5f).modalStateFinished (3);
    EXPECT_EQ (entry.loopB, 7.5f);
    WaveformView::PopupCallback (&entry, 8.0f).modalStateFinished (2);   // A after B leaves B
    EXPECT_EQ (entry.loopB, 7.5f);
    WaveformView::PopupCallback (&entry, 1.0f).modalStateFinished (0);   // closed: nothing
    EXPECT_EQ (entry.cue, -5.0f);

    WaveformView::PopupCallback (nullptr, 1.0f).modalStateFinished (1);

    // The entry is removed while the menu is open: the choice does nothing.
    WaveformView::PopupCallback pending (&entry, 2.0f);
    view->setSource (nullptr);
    processor->removeEntry (0);
    pending.modalStateFinished (1);
    EXPECT_EQ (pending.entry.get(), nullptr);
}

TEST_F (WaveformViewTest, PaintsTheWaveformAboveTheScrollBar)
{
    auto& entry = addEntry ("loud.wav", 2.0);
    view->setSource (&entry);
    view->setRange ({ 0.0, 2.0 });

    for (int i = 0; i < 500 && ! view->thumbnail.isFullyLoaded(); ++i)
        juce::Thread::sleep (5);
    ASSERT_TRUE (view->thumbnail.isFullyLoaded());

    EXPECT_EQ (view->scrollbar.getBounds(), juce::Rectangle<int> (2, 148, 780, 10));

    juce::Image image (juce::Image::ARGB, 784, 160, true);
    {
        juce::Graphics g (image);
        view->paint (g);
    }

    // The test signal is quiet: its waveform is a light-blue line along the middle of each
    // channel's half, in every column of the file.
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

/** Collects what the view and its children ask to have repainted. */
struct RepaintLog : juce::CachedComponentImage
{
    void paint (juce::Graphics&) override {}
    bool invalidateAll() override                               { return invalidate ({ 0, 0, 9999, 9999 }); }
    bool invalidate (const juce::Rectangle<int>& area) override { areas.add (area); return true; }
    void releaseResources() override {}
    juce::RectangleList<int> areas;
};

TEST_F (WaveformViewTest, TicksRepaintOnlyWhatMovedWithTheSamePicture)
{
    auto& entry = addEntry ("ten.wav", 10.0);
    view->setVisible (true);
    view->setSource (&entry);
    for (int i = 0; i < 500 && ! view->thumbnail.isFullyLoaded(); ++i)
        juce::Thread::sleep (5);

    const auto inkedColumns = [this]   // the columns with waveform near the middle
    {
        juce::Image image (juce::Image::RGB, 784, 160, true);
        juce::Graphics g (image);
        view->paint (g);
        juce::SparseSet<int> columns;
        for (int x = 0; x < 784; ++x)
            for (int y = 60; y < 86; ++y)
                if (image.getPixelAt (x, y).getBlue() > 0x80)
                    columns.addRange ({ x, x + 1 });
        return columns;
    };

    inkedColumns();
    auto* log = new RepaintLog();
    view->setCachedComponentImage (log);   // owned by the view; setting it repaints
    log->areas.clear();
    view->timerCallback();                 // paused: nothing moved
    EXPECT_TRUE (log->areas.isEmpty());

    entry.cue = 4.0f;                        // a marker's strip only: the waveform
    processor->moveEntryTo (entry, 0.001f);  // moved by less than a column
    view->timerCallback();
    EXPECT_FALSE (log->areas.isEmpty());
    EXPECT_FALSE (log->areas.containsPoint ({ 100, 70 }));

    processor->moveEntryTo (entry, 3.0f);
    view->timerCallback();
    EXPECT_TRUE (log->areas.containsRectangle ({ 2, 2, 780, 142 }));

    const auto slid = inkedColumns();        // slid along the wider image, or drawn afresh:
    view->changeListenerCallback (nullptr);  // the file starts at x = 158 either way
    EXPECT_EQ (slid, inkedColumns());
    EXPECT_EQ (slid.getRange (0).getStart(), 158);
}
