#include "ui/WaveformView.h"

#include <cmath>

using namespace juce;

WaveformView::PopupCallback::PopupCallback (PlaylistEntry* e, float t)
    : entry (e), time (t)
{
}

void WaveformView::PopupCallback::modalStateFinished (int returnValue)
{
    auto* target = entry.get();

    if (target == nullptr)
        return;

    switch (returnValue)
    {
        case 1:  target->cue = time; break;
        case 2:  target->loopA = time; break;
        case 3:  target->loopB = time > target->loopA ? time : target->loopA + 1.0f; break;
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

    if (entry != nullptr)
    {
        // Only a file whose header is plausible goes to the thumbnail: a broken one could
        // hang the thumbnail's reading thread. Anything else shows as a file of no length.
        // A header claiming more audio than the file holds would have the thumbnail size its
        // data for the claim, so such a file is shown through the reader cut to its content.
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

        startTimer (25);

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
    visibleRange = newRange;
    scrollbar.setCurrentRange (visibleRange, dontSendNotification);
    updateMarkers();
    repaint();
}

void WaveformView::timerCallback()
{
    updateMarkers();

    if (currentTrack == nullptr)
        return;

    const auto length = visibleRange.getLength();
    const auto position = (double) processor.getEntryPositionSeconds (*currentTrack);
    const auto newStart = position - length * 0.5;
    const auto newEnd = jmax (newStart, (newStart - visibleRange.getStart()) + visibleRange.getEnd());

    setRange ({ newStart, newEnd });
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

void WaveformView::paint (Graphics& g)
{
    g.fillAll (Colour (0xff555555));
    g.setColour (Colour (0xffadd8e6));

    if (thumbnail.getTotalLength() > 0.0)
    {
        auto area = getLocalBounds();
        area.removeFromBottom (scrollbar.getHeight() + 4);
        thumbnail.drawChannels (g, area.reduced (2), visibleRange.getStart(), visibleRange.getEnd(), 1.0f);
    }
    else
    {
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
