#include "VelorinTest.h"
#include "ui/WaveformView.h"

// The waveform view: following, zoom, markers, the drag, the marker menu's choice and the repaints; steps recorded.

class WaveformViewTest : public ProcessorTest
{
protected:
    WaveformViewTest()   { formats.registerBasicFormats(), processor->setRateAndBufferSizeDetails (1000.0, 100), view.setSize (784, 160); }
    PlaylistEntry& addLong (const juce::String& name, double seconds)   { return add (name, seconds, 1, 1000.0); }   // mono at 1 kHz: long files stay small
    PlaylistEntry& showTen()   { auto& e = addLong ("ten.wav", 10.0); view.setSource (&e); for (int i = 0; i < 500 && ! view.thumbnail.isFullyLoaded(); ++i) juce::Thread::sleep (5); return e; }

    void step (const juce::String& what)
    {
        juce::String markers;
        for (auto* m : { &view.positionMarker, &view.cueMarker, &view.loopMarker })
            markers << (m->isVisible() ? " [" : " hidden [") << m->getRectangle().topLeft.x << " " << m->getRectangle().topLeft.y << " " << m->getRectangle().topRight.x - m->getRectangle().topLeft.x
                    << " " << m->getRectangle().bottomLeft.y - m->getRectangle().topLeft.y << "]";
        auto* e = view.currentTrack;
        note (what, "range " + juce::String (view.visibleRange.getStart()) + " to " + juce::String (view.visibleRange.getEnd()) + ", limit " + juce::String (view.scrollbar.getRangeLimit().getEnd())
                        + ", zoom " + juce::String (view.zoom) + ", thumbnail " + juce::String (view.thumbnail.getTotalLength()) + " s, markers" + markers
                        + (e != nullptr ? ", cue " + juce::String (e->cue.load()) + " A-B " + juce::String (e->loopA.load()) + "-" + juce::String (e->loopB.load())
                                           + " at " + juce::String (processor->getEntryPositionSeconds (*e)) : ""));
    }
    juce::MouseEvent mouse (int x, int pressX)   { return { juce::Desktop::getInstance().getMainMouseSource(), { (float) x, 50.0f }, {}, 0, 0, 0, 0, 0, &view, &view, {}, { (float) pressX, 50.0f }, {}, 1, true }; }
    void wheel (float deltaY)   { juce::MouseWheelDetails details {}; details.deltaY = deltaY; view.mouseWheelMove (mouse (0, 0), details); step ("wheel " + juce::String (deltaY)); }
    juce::AudioFormatManager formats;
    WaveformView view { formats, *processor };
};

TEST_F (WaveformViewTest, FollowsZoomsAndPlacesMarkers)
{
    wheel (1.0f), view.mouseDrag (mouse (10, 5)), step ("nothing shown, dragged");
    auto& entry = addLong ("ten.wav", 10.0);
    view.setSource (&entry), step ("ten seconds shown");
    processor->moveEntryTo (entry, 3.0f), view.timerCallback(), step ("at 3 s, timer");
    entry.cue = 2.5f, entry.loopA = 2.0f, entry.loopB = 5.0f, processor->moveEntryTo (entry, 1.0f), view.setRange ({ 0.0, 10.0 }), step ("range 0 to 10");
    for (auto [a, b] : { std::pair (5.0f, 2.0f), { 5.0f, 5.0f } })   // A after B, A at B
        entry.loopA = a, entry.loopB = b, view.updateMarkers(), step ("A-B " + juce::String (a) + "-" + juce::String (b));
    note ("times at x 0 and 392", juce::String (view.timeAtX (0)) + " " + juce::String (view.timeAtX (392)));

    for (auto [x, pressX] : { std::pair (101, 100), { 101, 100 }, { 100, 100 }, { 40, 100 }, { 0, 100 } })   // a second a step, clamped
        view.mouseDrag (mouse (x, pressX)), step ("drag to " + juce::String (x) + " from " + juce::String (pressX));
    processor->moveEntryTo (entry, 9.5f), view.mouseDrag (mouse (0, 100)), step ("drag at 9.5 s");
    processor->selectTrack (0), processor->paused = false;
    juce::AudioBuffer<float> buffer (2, 100);
    testkit::renderBlock (*processor, buffer), processor->moveEntryTo (entry, 5.0f), view.mouseDrag (mouse (200, 100));
    step ("drag while loaded, at " + juce::String (entry.source->getNextReadPosition()));

    view.setSource (&addLong ("long.wav", 300.0));
    for (auto delta : { 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 3.0f, -0.01f, 0.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f })
        wheel (delta);
    view.setSource (&addLong ("half.wav", 0.5)), step ("half a second shown");   // keeps the middle, never under a second
    view.setSource (&addLong ("fifty.wav", 50.0)), view.setZoomFactor (0.99), step ("fifty seconds, zoom 0.99");
    view.setSource (nullptr), step ("nothing shown");
    EXPECT_TRUE (matchesReference (view.createComponentSnapshot (view.getLocalBounds()), "waveform-nothing-shown.png"));   // "(No audio file selected)"
}

TEST_F (WaveformViewTest, UnopenableFilesShowNothingAndPlaceNoMarkers)
{
    ASSERT_TRUE (audio.getChildFile ("garbage.wav").replaceWithText ("not audio"));
    processor->addFile (audio.getChildFile ("garbage.wav"));
    const auto broken = audioFile ("broken.aif", 44100.0, 2, 0.1, 16);   // a header that makes the reader loop forever
    juce::MemoryBlock bytes;
    broken.loadFileAsData (bytes);
    ASSERT_EQ (juce::String (static_cast<const char*> (bytes.getData()) + 12, 4), "COMM");
    bytes[12 + 14] = 0x7f, bytes[12 + 15] = (char) 0xff, broken.replaceWithData (bytes.getData(), bytes.getSize()), processor->addFile (broken);
    for (auto* entry : processor->playlist)   // the range stays empty: nothing to divide by
        view.setSource (entry), view.timerCallback(), step (entry->file.getFileName()), wheel (1.0f);
}

TEST_F (WaveformViewTest, MarkerMenuChoicesGoToTheEntryOfTheClick)
{
    auto& entry = addLong ("ten.wav", 10.0);
    view.setSource (&entry);
    // Choice 1 cue, 2 A, 3 B (at or before A: A + 1), 0 nothing; at a time not clamped to the file.
    for (auto [choice, time] : { std::pair (1, -5.0f), { 2, 4.0f }, { 3, 4.0f }, { 3, 7.5f }, { 2, 8.0f }, { 0, 1.0f } })
        WaveformView::PopupCallback (&entry, time).modalStateFinished (choice), step ("choice " + juce::String (choice) + " at " + juce::String (time));
    WaveformView::PopupCallback (nullptr, 1.0f).modalStateFinished (1);
    WaveformView::PopupCallback pending (&entry, 2.0f);   // the entry goes while the menu is open: the choice does nothing
    view.setSource (nullptr), processor->removeEntry (0), pending.modalStateFinished (1);
    EXPECT_EQ (pending.entry.get(), nullptr);
}

struct RepaintLog : juce::CachedComponentImage   // what the view and its children ask to have repainted
{
    bool invalidate (const juce::Rectangle<int>& area) override { areas.add (area); return true; }
    bool invalidateAll() override { return invalidate ({ 0, 0, 9999, 9999 }); }    void paint (juce::Graphics&) override {}    void releaseResources() override {}
    juce::RectangleList<int> areas;
};

TEST_F (WaveformViewTest, PaintsTheWaveformAboveTheScrollBar)
{
    showTen(), view.setRange ({ 0.0, 10.0 });
    EXPECT_TRUE (view.thumbnail.isFullyLoaded() && matchesReference (view.createComponentSnapshot (view.getLocalBounds()), "waveform-ten-seconds.png"));
}

TEST_F (WaveformViewTest, TicksRepaintOnlyWhatMovedWithTheSamePicture)
{
    view.setVisible (true);
    auto& entry = showTen();
    const auto inkedColumns = [this]   // the columns with waveform near the middle
    {
        juce::Image image (juce::Image::RGB, 784, 160, true);
        juce::Graphics g (image);
        juce::SparseSet<int> columns;
        for (int x = (view.paint (g), 0); x < 784; ++x)
            for (int y = 60; y < 86; ++y) if (image.getPixelAt (x, y).getBlue() > 0x80) columns.addRange ({ x, x + 1 });
        return columns;
    };
    auto* log = new RepaintLog();   // owned by the view; setting it repaints
    inkedColumns(), view.setCachedComponentImage (log), log->areas.clear();
    view.timerCallback();                 // paused: nothing moved
    EXPECT_TRUE (log->areas.isEmpty());
    entry.cue = 4.0f, processor->moveEntryTo (entry, 0.001f), view.timerCallback();   // a marker's strip only: the waveform moved by less than a column
    EXPECT_TRUE (! log->areas.isEmpty() && ! log->areas.containsPoint ({ 100, 70 }));
    processor->moveEntryTo (entry, 3.0f), view.timerCallback();
    EXPECT_TRUE (log->areas.containsRectangle ({ 2, 2, 780, 142 }));

    const auto slid = inkedColumns();        // slid along the wider image, or drawn afresh:
    view.changeListenerCallback (nullptr);  // the file starts at x = 158 either way
    EXPECT_EQ (slid, inkedColumns());
    EXPECT_EQ (slid.getRange (0).getStart(), 158);
}

TEST_F (WaveformViewTest, NothingIsDrawnBeforeTheFilesStart)
{
    showTen();
    juce::Image image (juce::Image::RGB, 784, 160, true);
    juce::Graphics g (image);
    view.setRange ({ 6.0, 16.0 });   // the file drawn across most of the view
    view.paint (g);
    view.setRange ({ -9.0, 1.0 });   // 0 s at x 704
    view.paint (g);
    int inked = 0;
    for (int x = 2; x < 700; ++x)
        for (int y = 2; y < 142; ++y)
            inked += image.getPixelAt (x, y) != juce::Colour (0xff555555) ? 1 : 0;
    EXPECT_EQ (inked, 0);
}

TEST_F (WaveformViewTest, StopsFollowingWhileNothingMovesAndFollowsAgainOnAMove)
{
    auto& entry = showTen();
    for (int tick = 0; tick < 25; ++tick)
        view.timerCallback();
    EXPECT_FALSE (view.isFollowing()) << "paused: nothing moved for half a second";
    view.followIfMoved();
    EXPECT_FALSE (view.isFollowing()) << "still nothing moved";
    processor->moveEntryTo (entry, 3.0f);
    view.followIfMoved();
    EXPECT_TRUE (view.isFollowing()) << "moved";
}
