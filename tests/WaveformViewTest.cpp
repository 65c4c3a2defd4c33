#include "VelorinTest.h"
#include "ui/WaveformView.h"

// The waveform view: where it looks and where its markers stand as it follows, zooms and is dragged, what
// the marker menu sets, what it draws, and that it repaints only what moved and rests while nothing moves.

class WaveformViewTest : public ProcessorTest
{
protected:
    WaveformViewTest()
    {
        formats.registerBasicFormats();
        view.setSize (784, 160);
    }

    /** Shows a file, mono at 1 kHz (long files stay small), once the thumbnail has read it. */
    PlaylistEntry& show (const juce::String& name, double seconds)
    {
        auto& entry = add (name, seconds, 1, 1000.0);
        view.setSource (&entry);
        for (int i = 0; i < 500 && ! view.thumbnail.isFullyLoaded(); ++i)
            juce::Thread::sleep (5);
        return entry;
    }

    /** Notes the visible range and the bounds of the position, cue and loop markers. */
    void step (const juce::String& what)
    {
        auto seen = juce::String (view.visibleRange.getStart()) + " to " + juce::String (view.visibleRange.getEnd());
        for (auto* marker : { &view.positionMarker, &view.cueMarker, &view.loopMarker })
            seen << " [" << marker->getRectangle().getBoundingBox().toString() << "]";
        note (what, seen);
    }

    void drag (int offset)
    {
        view.mouseDrag (pressed.withNewPosition (juce::Point<int> (offset, 0)));
        note ("dragged by " + juce::String (offset), "at " + juce::String (view.currentTrack->position.load()));
    }

    void wheel (float deltaY)
    {
        juce::MouseWheelDetails details {};
        details.deltaY = deltaY;
        view.mouseWheelMove (pressed, details);
        step ("wheel " + juce::String (deltaY));
    }

    juce::AudioFormatManager formats;
    WaveformView view { formats, *processor };
    const juce::MouseEvent pressed { juce::Desktop::getInstance().getMainMouseSource(), {}, {}, 0, 0, 0, 0, 0,
                                     &view, &view, {}, {}, {}, 1, true };
};

TEST_F (WaveformViewTest, FollowsZoomsAndPlacesMarkers)
{
    auto& entry = show ("ten.wav", 10.0);
    step ("shown");
    processor->moveEntryTo (entry, 3.0f);
    view.timerCallback();
    step ("at 3 s, a tick");
    entry.cue = 2.5f;
    entry.loopA = 2.0f;
    view.setRange ({ 0.0, 10.0 });
    for (auto b : { 5.0f, 1.0f, 2.0f })   // B after A, before it, at it
    {
        entry.loopB = b;
        view.updateMarkers();
        step ("range 0 to 10, cue 2.5, A-B 2-" + juce::String (b));
    }
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
    view.setSource (nullptr);
    EXPECT_TRUE (matchesReference (view.createComponentSnapshot (view.getLocalBounds()), "waveform-nothing-shown.png"));
}

TEST_F (WaveformViewTest, MarkerMenuChoicesGoToTheEntryOfTheClick)
{
    auto& entry = show ("ten.wav", 10.0);
    note ("time under x 0", juce::String (view.timeAtX (0)));

    // Choice 1 cue, 2 A, 3 B (at or before A: A + 1 s), 0 nothing; at the time given, not clamped to the file.
    for (auto [choice, time] : { std::pair (1, -5.0f), { 2, 4.0f }, { 3, 4.0f }, { 3, 7.5f }, { 0, 1.0f } })
    {
        WaveformView::PopupCallback (&entry, time).modalStateFinished (choice);
        note ("choice " + juce::String (choice) + " at " + juce::String (time), state());
    }

    WaveformView::PopupCallback pending (&entry, 2.0f);
    view.setSource (nullptr);
    processor->removeEntry (0);   // while the menu is open: the choice does nothing
    pending.modalStateFinished (1);
    EXPECT_EQ (pending.entry.get(), nullptr);
}

struct RepaintLog : juce::CachedComponentImage   // the areas the view and its children ask to have repainted
{
    bool invalidate (const juce::Rectangle<int>& area) override
    {
        areas.add (area);
        return true;
    }

    bool invalidateAll() override   { return true; }
    void paint (juce::Graphics&) override {}
    void releaseResources() override {}

    juce::RectangleList<int> areas;
};

TEST_F (WaveformViewTest, TicksRepaintOnlyWhatMovedWithTheSamePicture)
{
    auto& entry = show ("ten.wav", 10.0);
    view.setVisible (true);
    view.createComponentSnapshot (view.getLocalBounds());   // the channels drawn
    auto* log = new RepaintLog();   // owned by the view
    view.setCachedComponentImage (log);
    processor->moveEntryTo (entry, 0.001f);
    view.timerCallback();
    EXPECT_FALSE (log->areas.containsPoint ({ 100, 70 })) << "moved by less than a column";
    processor->moveEntryTo (entry, 3.0f);
    view.timerCallback();
    EXPECT_TRUE (log->areas.containsPoint ({ 100, 70 })) << "moved by 3 s";

    view.setCachedComponentImage (nullptr);
    EXPECT_TRUE (matchesReference (view.createComponentSnapshot (view.getLocalBounds()), "waveform-ten-seconds.png"))
        << "slid along the channels drawn at the start";
}

TEST_F (WaveformViewTest, NothingIsDrawnBeforeTheFilesStart)
{
    show ("ten.wav", 10.0);
    view.setRange ({ 6.0, 16.0 });   // the file drawn across most of the view
    view.createComponentSnapshot (view.getLocalBounds());
    view.setRange ({ -9.0, 1.0 });
    const auto image = view.createComponentSnapshot (view.getLocalBounds());
    EXPECT_TRUE (matchesReference (image, "waveform-before-the-start.png")) << "nothing left of x 705 (0 s)";
}

TEST_F (WaveformViewTest, StopsFollowingWhileNothingMovesAndFollowsAgainOnAMove)
{
    auto& entry = show ("ten.wav", 10.0);
    for (int tick = 0; tick < 25; ++tick)
        view.timerCallback();
    EXPECT_FALSE (view.isFollowing()) << "paused: nothing moved for half a second";
    view.followIfMoved();
    EXPECT_FALSE (view.isFollowing()) << "still nothing moved";
    processor->moveEntryTo (entry, 3.0f);
    view.followIfMoved();
    EXPECT_TRUE (view.isFollowing()) << "moved";
}
