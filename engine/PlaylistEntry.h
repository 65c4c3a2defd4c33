#pragma once

#include "engine/PointStore.h"
#include "engine/ResampledAudioFormatReaderSource.h"

#include <atomic>

/** One row of the playlist: an audio file, its tags and length, its cue and A-B loop
    points (kept per file in the data root across runs), its play position and, once it
    has been played, the source that plays it.

    The points and the position are written by the user interface and read by the audio
    thread, so they are atomic. Rows of the same file share one set of points: what the
    user set last, on any row, is what every row shows and what is stored. The source belongs to the audio thread: anything else
    reaches it only through the processor, under its callback lock. */
class PlaylistEntry
{
public:
    /** Reads the tags, the length and the stored points of the file. A file that doesn't
        open yet gets its stored points when it first opens. */
    PlaylistEntry (const juce::File& file, juce::AudioFormatManager* formatManager, PointStore* dataRoot);

    /** Deletes the source and writes the points into the data root. */
    ~PlaylistEntry();

    /** The 32-digit lower-case hex key that names the file's element in the data root. */
    juce::String getKey() const;

    /** Writes the points into the data root, as the destructor does. Points of a file that
        never opened are written only once the user has set some: the stored ones were never
        read, and writing zeros would destroy them. */
    void storePoints();

    /** True once the file has opened, when the entry was made or since. */
    bool hasOpened() const { return points->opened; }

    /** The play position in seconds: the source's, or `position` while there is none. */
    float getPositionSeconds() const;

    /** Opens the file and makes the source, placed at the cue point. */
    void load (int samplesPerBlock, float outputSampleRate);

    juce::String getFilePath() const;
    juce::String getTitle() const;
    juce::String getArtist() const;

    /** Titles and artists are kept to this many characters. */
    static constexpr int maxTagCharacters = 4096;

    /** Opens a reader for a regular file, or returns nullptr when it isn't one, when no
        format opens it or when what it declares is implausible (such a header can hang or
        crash a reader). A length beyond what the file holds is cut to it, a damaged trailing
        chunk is hidden from the reader, and so are chunks of metadata, which the reader would
        parse at any cost and nothing here reads; `readerIsLimited` (if given) says whether any
        of that happened: then only this reader shows the file as it should be read. */
    static std::unique_ptr<juce::AudioFormatReader> createCheckedReader (juce::AudioFormatManager& formatManager,
                                                                         const juce::File& file,
                                                                         bool* readerIsLimited = nullptr);

private:
    juce::String key;
    std::shared_ptr<PointStore::Points> points;

public:
    std::atomic<float>& cue;
    std::atomic<float>& loopA;
    std::atomic<float>& loopB;
    juce::AudioFormatManager* formatManager;
    std::unique_ptr<ResampledAudioFormatReaderSource> source;
    PointStore* dataRoot;
    std::atomic<float> lengthSeconds { 0.0f };
    std::atomic<float> position { 0.0f };
    juce::File file;
    juce::String title;
    juce::String artist;

private:
    JUCE_DECLARE_WEAK_REFERENCEABLE (PlaylistEntry)
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PlaylistEntry)
};
