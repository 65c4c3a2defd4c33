#include "VelorinTest.h"
#include "ui/WaveformView.h"

using namespace juce;

// The waveform view: where it looks and where its markers stand as it follows, zooms and is dragged, what
// the marker menu sets, what it draws, and that it repaints only what moved and rests while nothing moves.

struct WaveformViewTest : ProcessorTest
{
    WaveformViewTest()
    {
        formats.registerBasicFormats();
        view.setSize (784, 160);
    }

    /** Shows a file, mono at 1 kHz (long files stay small), once the thumbnail has read it. */
    PlaylistEntry& show (const String& name, double seconds)
    {
        auto& entry = add (name, seconds, 1, 1000.0);
        view.setSource (&entry);
        for (int i = 0; i < 500 && ! view.thumbnail.isFullyLoaded(); ++i)
            Thread::sleep (5);
        return entry;
    }

    /** Notes the visible range and the bounds of the position, cue and loop markers. */
    void step (const String& what)
    {
        auto seen = String (view.visibleRange.getStart()) + " to " + String (view.visibleRange.getEnd());
        for (auto* marker : { &view.positionMarker, &view.cueMarker, &view.loopMarker })
            seen << " [" << marker->getRectangle().getBoundingBox().toString() << "]";
        note (what, seen);
    }

    void drag (int offset)
    {
        view.mouseDrag (pressed.withNewPosition (Point<int> (offset, 0)));
        note ("dragged by " + String (offset), String (view.currentTrack->position.load()));
    }

    void wheel (float deltaY)
    {
        view.mouseWheelMove (pressed, { 0.0f, deltaY, false, false, false });
        step ("wheel " + String (deltaY));
    }

    Image snapshot() { return view.createComponentSnapshot (view.getLocalBounds()); }

    AudioFormatManager formats;
    WaveformView view { formats, *processor };
    const MouseEvent pressed {
        Desktop::getInstance().getMainMouseSource(), {}, {}, 0, 0, 0, 0, 0, &view, &view, {}, {}, {}, 1, true
    };
};

struct RepaintLog : CachedComponentImage   // the areas the view and its children ask to have repainted
{
    bool invalidate (const Rectangle<int>& area) override
    {
        areas.add (area);
        return true;
    }

    bool invalidateAll() override { return true; }
    void paint (Graphics&) override {}
    void releaseResources() override {}

    RectangleList<int> areas;
};

TEST_F (WaveformViewTest, FollowsRestsRepaintsOnlyWhatMovedZoomsAndPlacesTheMarkersTheMenuSets)
{
    auto& entry = show ("ten.wav", 10.0);
    step ("shown");

    // Choice 1 cue, 2 A, 3 B (at or before A: A + 1 s), 0 nothing; at the time given, not clamped to the file.
    for (auto [choice, time] : { std::pair (1, view.timeAtX (0)), { 2, 4.0f }, { 3, 4.0f }, { 3, 7.5f }, { 0, 1.0f } })
    {
        WaveformView::PopupCallback (&entry, time).modalStateFinished (choice);
        note ("choice " + String (choice) + " at " + String (time), state());
    }

    view.setVisible (true);
    snapshot();                     // the channels drawn
    auto* log = new RepaintLog();   // owned by the view
    view.setCachedComponentImage (log);
    for (int tick = 0; tick < 25; ++tick)
        view.timerCallback();
    EXPECT_FALSE (view.isFollowing()) << "paused: nothing moved for half a second";
    view.followIfMoved();
    EXPECT_FALSE (view.isFollowing()) << "still nothing moved";
    processor->moveEntryTo (entry, 0.001f);
    view.followIfMoved();
    EXPECT_TRUE (view.isFollowing()) << "moved";
    EXPECT_FALSE (log->areas.containsPoint ({ 100, 70 })) << "moved by less than a column";
    processor->moveEntryTo (entry, 3.0f);
    view.timerCallback();
    EXPECT_TRUE (log->areas.containsPoint ({ 100, 70 })) << "moved by 3 s";
    step ("at 3 s, a tick");
    for (auto b : { 1.0f, 4.0f, 7.5f })   // B before A, at it, after it
    {
        entry.loopB = b;
        view.updateMarkers();
        step ("A-B 4-" + String (b));
    }
    view.setCachedComponentImage (nullptr);
    EXPECT_TRUE (matchesReference (snapshot(), "waveform-ten-seconds.png")) << "slid along the channels drawn first";
    view.setRange ({ 6.0, 16.0 });   // the file drawn across most of the view
    snapshot();
    view.setRange ({ -9.0, 1.0 });
    EXPECT_TRUE (matchesReference (snapshot(), "waveform-before-the-start.png")) << "nothing left of x 705 (0 s)";

    drag (1);
    drag (-1);
    processor->moveEntryTo (entry, 9.5f);
    drag (-1);

    show ("long.wav", 300.0);
    wheel (0.5f);
    view.zoom = 0.95f;
    wheel (1.0f);
    wheel (-1.0f);
    show ("half.wav", 0.5);
    step ("half a second shown");

    WaveformView::PopupCallback pending (&entry, 2.0f);
    view.setSource (nullptr);
    processor->removeEntry (0);   // ten.wav, while the menu is open: the choice does nothing
    pending.modalStateFinished (1);
    EXPECT_EQ (pending.entry.get(), nullptr);
    EXPECT_TRUE (matchesReference (snapshot(), "waveform-nothing-shown.png"));
}
