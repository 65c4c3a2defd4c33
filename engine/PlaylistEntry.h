#pragma once

#include "engine/ResampledAudioFormatReaderSource.h"

#include <atomic>

/** One row of the playlist: an audio file, its tags and length, its cue and A-B loop
    points (kept per file in the data root across runs), its play position and, once it
    has been played, the source that plays it.

    The points and the position are written by the user interface and read by the audio
    thread, so they are atomic. The source belongs to the audio thread: anything else
    reaches it only through the processor, under its callback lock. */
class PlaylistEntry
{
public:
    /** Reads the tags, the length and the stored points of the file. */
    PlaylistEntry (const juce::File& file, juce::AudioFormatManager* formatManager, juce::XmlElement* dataRoot);

    /** Deletes the source and writes the points into the data root. */
    ~PlaylistEntry();

    /** The 32-digit lower-case hex key that names the file's element in the data root. */
    juce::String getKey() const;

    /** Writes the points into the data root, as the destructor does. */
    void storePoints();

    /** The play position in seconds: the source's, or `position` while there is none. */
    float getPositionSeconds() const;

    /** Opens the file and makes the source, placed at the cue point. */
    void load (int samplesPerBlock, float outputSampleRate);

    juce::String getFilePath() const;
    juce::String getTitle() const;
    juce::String getArtist() const;

    /** Opens a reader for the file, or returns nullptr when no format opens it or when
        what it declares is implausible (such a header can hang or crash a reader). A length
        beyond what the file holds is cut to it, and `lengthWasLimited` (if given) says so. */
    static std::unique_ptr<juce::AudioFormatReader> createCheckedReader (juce::AudioFormatManager& formatManager,
                                                                         const juce::File& file,
                                                                         bool* lengthWasLimited = nullptr);

    std::atomic<float> cue { 0.0f };
    std::atomic<float> loopA { 0.0f };
    std::atomic<float> loopB { 0.0f };
    juce::AudioFormatManager* formatManager;
    std::unique_ptr<ResampledAudioFormatReaderSource> source;
    juce::XmlElement* dataRoot;
    float lengthSeconds = 0.0f;
    std::atomic<float> position { 0.0f };
    juce::File file;
    juce::String title;
    juce::String artist;

private:
    /** The element holding this file's points: the first with the key whose "name" is
        this path or that has no name yet. Another file whose path shares the key (the key
        hashes only part of a non-ASCII path) keeps an element of its own. */
    juce::XmlElement* findElement() const;
    juce::XmlElement* findOrCreateElement();

    bool opened = false;

    JUCE_DECLARE_WEAK_REFERENCEABLE (PlaylistEntry)
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PlaylistEntry)
};
