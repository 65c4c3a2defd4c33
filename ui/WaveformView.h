#pragma once

#include "engine/ReplayProcessor.h"

#include <juce_audio_utils/juce_audio_utils.h>

/** The waveform of the entry the editor shows, with a scroll bar and markers for the play
    position, the cue point and the A-B loop. While an entry is shown, a 25 ms timer keeps
    the play position in the middle; after half a second in which nothing moved it stops,
    and followIfMoved, which the editor calls at its tick, starts it again. The right button
    opens a marker menu, dragging moves the position a second at a time and the wheel zooms.
    The channels are drawn once into an image wider than the view and copied from it; a tick
    repaints only what moved: a marker, or the channels once they move by a whole pixel. */
class WaveformView : public juce::Component,
                     public juce::ChangeListener,
                     private juce::Timer
{
public:
    /** Receives the marker menu's choice for the entry and time under the click. The entry
        is held weakly: if it is deleted while the menu is open, the choice does nothing. */
    class PopupCallback : public juce::ModalComponentManager::Callback
    {
    public:
        PopupCallback (PlaylistEntry* entry, float time);
        void modalStateFinished (int returnValue) override;

        juce::WeakReference<PlaylistEntry> entry;
        float time;
    };

    WaveformView (juce::AudioFormatManager& formatManager, ReplayProcessor& processor);
    ~WaveformView() override;

    /** Shows an entry, or nothing when null. Call with null before the shown entry is deleted. */
    void setSource (PlaylistEntry* entry);

    /** Sets the span to the file's length times (1 - amount), at least a second, about the
        middle of the current range. */
    void setZoomFactor (double amount);

    void setRange (juce::Range<double> newRange);
    void updateMarkers();

    /** While the timer rests: one tick, which starts following again if the play position
        or a marker has moved. */
    void followIfMoved();

    /** True while the timer follows the play position. */
    bool isFollowing() const;

    /** The time under an x position of the view, from the visible range (not clamped). */
    float timeAtX (int x) const;

    void mouseDown (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;
    void mouseWheelMove (const juce::MouseEvent&, const juce::MouseWheelDetails&) override;
    void paint (juce::Graphics&) override;
    void resized() override;
    void changeListenerCallback (juce::ChangeBroadcaster*) override;
    void timerCallback() override;

    juce::ScrollBar scrollbar { false };
    PlaylistEntry* currentTrack = nullptr;
    juce::AudioThumbnailCache thumbnailCache { 5 };
    juce::AudioThumbnail thumbnail;
    juce::Range<double> visibleRange;
    juce::DrawableRectangle positionMarker;
    juce::DrawableRectangle cueMarker;
    juce::DrawableRectangle loopMarker;
    float zoom = 0.0f;

private:
    /** Where the channels are drawn: above the scroll bar, inside a 2-pixel margin. */
    juce::Rectangle<int> getWaveArea() const;

    /** The column of the image to show at the area's left edge, or -1 when the image does
        not hold the visible range at its scale or the thumbnail has changed since. */
    int imageColumnFor (juce::Rectangle<int> area) const;
    void renderImage (juce::Rectangle<int> area);

    /** Puts the timer back to the following rate. */
    void followClosely();

    ReplayProcessor& processor;
    juce::AudioFormatManager& formatManager;

    juce::Image waveImage;            // three areas wide: a view-width margin on each side
    juce::Range<double> imageRange;   // the times across the image
    juce::int64 imageSamples = -1;    // the thumbnail's loaded samples when it was drawn
    int paintedColumn = -1;           // the column the last paint showed
    int quietTicks = 0;               // timer ticks in a row in which nothing moved

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (WaveformView)
};
