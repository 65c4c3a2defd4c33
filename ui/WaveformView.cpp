#include "ui/WaveformView.h"

#include <cmath>
#include <tuple>

using namespace juce;

namespace
{
    // The timer follows the play position at 25 ms; after half a second in which nothing
    // moved it stops, until followIfMoved finds a move.
    constexpr int followingMs = 25;
    constexpr int quietTicksBeforeResting = 20;

    const Colour backgroundColour (0xff555555);
    const Colour waveColour (0xffadd8e6);
}

WaveformView::PopupCallback::PopupCallback (PlaylistEntry* e, float t)
    : entry (e),
      time (t)
{
}

void WaveformView::PopupCallback::modalStateFinished (int returnValue)
{
    auto* target = entry.get();

    if (target == nullptr)
        return;

    switch (returnValue)
    {
        case 1: target->cue = time; break;
        case 2: target->loopA = time; break;
        case 3: target->loopB = time > target->loopA ? time : target->loopA + 1.0f; break;
        default: break;
    }
}

//==============================================================================
WaveformView::WaveformView (AudioFormatManager& manager, ReplayProcessor& p)
    : thumbnail (512, manager, thumbnailCache),
      processor (p),
      formatManager (manager)
{
    thumbnail.addChangeListener (this);

    setOpaque (true);   // paint() covers every pixel: what lies behind is not painted
    addAndMakeVisible (scrollbar);
    scrollbar.setRangeLimits (visibleRange);
    scrollbar.setAutoHide (false);

    positionMarker.setFill (FillType (Colour (0xffff0000).withAlpha (0.85f)));
    addAndMakeVisible (positionMarker);
    cueMarker.setFill (FillType (Colour (0xffffffff).withAlpha (0.85f)));
    addAndMakeVisible (cueMarker);
    loopMarker.setFill (FillType (Colour (0xff0000ff).withAlpha (0.25f)));
    addAndMakeVisible (loopMarker);
}

WaveformView::~WaveformView()
{
    thumbnail.removeChangeListener (this);
}

void WaveformView::setSource (PlaylistEntry* entry)
{
    currentTrack = entry;
    waveImage = {};

    if (entry != nullptr)
    {
        // Only a file whose header is plausible goes to the thumbnail: a broken one could
        // hang the thumbnail's reading thread. Anything else shows as a file of no length.
        // A header claiming more audio than the file holds would have the thumbnail size its
        // data for the claim, so such a file is shown through the reader cut to its content;
        // one with chunks of metadata through the reader that hides them (the thumbnail's own
        // reader would parse them, at any cost).
        const File file (entry->getFilePath());
        bool lengthWasLimited = false;

        if (auto reader = PlaylistEntry::createCheckedReader (formatManager, file, &lengthWasLimited))
        {
            if (lengthWasLimited)
                thumbnail.setReader (reader.release(), file.hashCode64());
            else
                thumbnail.setSource (new FileInputSource (file, false));
        }
        else
        {
            thumbnail.setSource (nullptr);
        }

        const auto length = thumbnail.getTotalLength();
        scrollbar.setRangeLimits (length > 0.0 ? Range<double> (0.0, length) : Range<double>());

        followClosely();

        for (auto* marker : { &positionMarker, &cueMarker, &loopMarker })
            marker->setVisible (true);

        zoom = 0.0f;
        setZoomFactor (0.0);
    }
    else
    {
        for (auto* marker : { &positionMarker, &cueMarker, &loopMarker })
            marker->setVisible (false);

        stopTimer();
        thumbnail.setSource (nullptr);
    }

    repaint();
}

void WaveformView::setZoomFactor (double amount)
{
    const auto length = thumbnail.getTotalLength();

    if (! (length > 0.0))
        return;

    const auto a = jlimit (0.0, 0.99, amount);
    const auto span = jmax (1.0, length * (1.0 - a));
    const auto centre = visibleRange.getStart() + 0.5 * visibleRange.getLength();

    setRange ({ centre - span * 0.5, centre + span * 0.5 });
}

void WaveformView::setRange (Range<double> newRange)
{
    const auto moved = newRange != visibleRange;

    visibleRange = newRange;
    scrollbar.setCurrentRange (visibleRange, dontSendNotification);
    updateMarkers();

    // The markers and the scroll bar repaint themselves when they move. The channels are
    // copied a whole column at a time, so a move of less than a column shows the same picture.
    const auto area = getWaveArea();

    if (moved && (paintedColumn < 0 || imageColumnFor (area) != paintedColumn))
        repaint (area);
}

void WaveformView::timerCallback()
{
    if (currentTrack == nullptr)
        return;

    const auto length = visibleRange.getLength();
    const auto position = (double) processor.getEntryPositionSeconds (*currentTrack);
    const auto newStart = position - length * 0.5;
    const auto newEnd = jmax (newStart, (newStart - visibleRange.getStart()) + visibleRange.getEnd());

    // Placing the range places the markers; whatever has not moved is not repainted.
    const auto placed = [this]
    {
        return std::make_tuple (visibleRange, positionMarker.getRectangle(), cueMarker.getRectangle(),
                                loopMarker.getRectangle());
    };

    const auto before = placed();
    setRange ({ newStart, newEnd });

    if (placed() != before)
        followClosely();
    else if (isTimerRunning() && ++quietTicks >= quietTicksBeforeResting)
        stopTimer();
}

void WaveformView::followIfMoved()
{
    if (currentTrack != nullptr && ! isTimerRunning())
        timerCallback();
}

bool WaveformView::isFollowing() const
{
    return isTimerRunning();
}

void WaveformView::followClosely()
{
    quietTicks = 0;

    if (getTimerInterval() != followingMs)
        startTimer (followingMs);
}

void WaveformView::updateMarkers()
{
    const auto start = visibleRange.getStart();
    const auto span = visibleRange.getEnd() - start;

    // An empty or broken range (a first file that couldn't be opened) has no place for them.
    if (currentTrack == nullptr || ! (span > 0.0) || ! std::isfinite (span) || ! std::isfinite (start))
        return;

    const auto width = (float) getWidth();
    const auto height = (float) (getHeight() - scrollbar.getHeight());
    // Points far outside the view (a damaged file's, say) stay far outside it, but finite:
    // a marker path must never hold an infinite coordinate.
    const auto xOf = [&] (float t)
    {
        const auto x = (float) (((double) t - start) / span) * width;
        return std::isfinite (x) ? jlimit (-1.0e6f, 1.0e6f, x) : 0.0f;
    };

    const auto place = [height] (DrawableRectangle& marker, float x, float w)
    {
        const Rectangle<float> r (x, 0.0f, w, height);
        marker.setRectangle (Parallelogram<float> (r.getTopLeft(), r.getTopRight(), r.getBottomLeft()));
    };

    const float a = currentTrack->loopA;
    const float b = currentTrack->loopB;
    const auto xA = xOf (a);
    const auto xB = a > b ? xA + 1.0f : xOf (b);

    place (positionMarker, xOf (processor.getEntryPositionSeconds (*currentTrack)) - 0.75f, 1.5f);
    place (cueMarker, xOf (currentTrack->cue), 1.5f);
    place (loopMarker, xA, xB - xA);
}

Rectangle<int> WaveformView::getWaveArea() const
{
    auto area = getLocalBounds();
    area.removeFromBottom (scrollbar.getHeight() + 4);
    return area.reduced (2);
}

int WaveformView::imageColumnFor (Rectangle<int> area) const
{
    if (! waveImage.isValid() || area.isEmpty() || waveImage.getHeight() != area.getHeight()
        || waveImage.getWidth() != area.getWidth() * 3 || imageSamples != thumbnail.getNumSamplesFinished())
        return -1;

    const auto perPixel = imageRange.getLength() / waveImage.getWidth();
    const auto visiblePerPixel = visibleRange.getLength() / area.getWidth();

    if (! (std::abs (visiblePerPixel - perPixel) <= perPixel * 1.0e-6))
        return -1;

    const auto column = std::round ((visibleRange.getStart() - imageRange.getStart()) / perPixel);
    return column >= 0.0 && column <= (double) (waveImage.getWidth() - area.getWidth()) ? (int) column : -1;
}

void WaveformView::renderImage (Rectangle<int> area)
{
    const auto length = visibleRange.getLength();

    if (! (length > 0.0) || ! std::isfinite (length) || ! std::isfinite (visibleRange.getStart()))
    {
        waveImage = {};
        return;
    }

    if (waveImage.getWidth() != area.getWidth() * 3 || waveImage.getHeight() != area.getHeight())
        waveImage = Image (Image::RGB, area.getWidth() * 3, area.getHeight(), false);

    // The view's span on either side, at the view's scale: following the play position
    // slides along the image until it runs out.
    imageRange = { visibleRange.getStart() - length, visibleRange.getEnd() + length };
    imageSamples = thumbnail.getNumSamplesFinished();

    Graphics g (waveImage);
    g.fillAll (backgroundColour);
    g.setColour (waveColour);

    // Before the file's start there is nothing to draw, and the thumbnail would leave there
    // whatever it drew last: the channels are drawn from the first column at or after 0 s.
    auto drawn = waveImage.getBounds();
    auto start = imageRange.getStart();

    if (start < 0.0)
    {
        const auto perPixel = imageRange.getLength() / waveImage.getWidth();
        const auto skipped = (int) std::ceil (-start / perPixel);
        drawn.removeFromLeft (skipped);
        start = jmax (0.0, start + skipped * perPixel);
    }

    if (! drawn.isEmpty())
        thumbnail.drawChannels (g, drawn, start, imageRange.getEnd(), 1.0f);
}

void WaveformView::paint (Graphics& g)
{
    if (thumbnail.getTotalLength() > 0.0)
    {
        const auto area = getWaveArea();

        if (imageColumnFor (area) < 0)
            renderImage (area);

        paintedColumn = imageColumnFor (area);

        if (paintedColumn < 0)
        {
            g.fillAll (backgroundColour);
            return;
        }

        // The image has the background under the channels: it covers the area by itself.
        {
            Graphics::ScopedSaveState state (g);
            g.excludeClipRegion (area);
            g.fillAll (backgroundColour);
        }

        Graphics::ScopedSaveState state (g);
        g.reduceClipRegion (area);
        g.drawImageAt (waveImage, area.getX() - paintedColumn, area.getY());
    }
    else
    {
        g.fillAll (backgroundColour);
        g.setColour (waveColour);
        g.setFont (14.0f);
        g.drawFittedText ("(No audio file selected)", getLocalBounds(), Justification::centred, 2, 0.7f);
    }
}

void WaveformView::resized()
{
    scrollbar.setBounds (getLocalBounds().removeFromBottom (14).reduced (2));
}

void WaveformView::changeListenerCallback (ChangeBroadcaster*)
{
    waveImage = {};   // more of the file has been read
    repaint();
}

//==============================================================================
float WaveformView::timeAtX (int x) const
{
    const auto fraction = (float) x / (float) getWidth();
    return (float) ((double) fraction * visibleRange.getLength() + visibleRange.getStart());
}

void WaveformView::mouseDown (const MouseEvent& e)
{
    if (! e.mods.isRightButtonDown() || getWidth() <= 0)
        return;

    PopupMenu menu;
    menu.addItem (1, "cue", true, false);
    menu.addItem (2, "a", true, false);
    menu.addItem (3, "b", true, false);

    menu.showMenuAsync (PopupMenu::Options(), new PopupCallback (currentTrack, timeAtX (e.x)));
}

void WaveformView::mouseDrag (const MouseEvent& e)
{
    if (currentTrack == nullptr)
        return;

    const auto step = e.getOffsetFromDragStart().x > 0 ? 1.0f : -1.0f;
    const auto position = jlimit (0.0f, currentTrack->lengthSeconds.load(),
                                  processor.getEntryPositionSeconds (*currentTrack) - step);

    processor.moveEntryTo (*currentTrack, position);
    followClosely();   // shown as promptly as a playing file's moves
}

void WaveformView::mouseWheelMove (const MouseEvent&, const MouseWheelDetails& wheel)
{
    if (! (thumbnail.getTotalLength() > 0.0))
        return;

    if (wheel.deltaY != 0.0f)
    {
        zoom = jlimit (0.0f, 0.99f, zoom + (wheel.deltaY > 0.0f ? 0.1f : -0.1f));
        setZoomFactor ((double) zoom);
    }

    repaint();
}
