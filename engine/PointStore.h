#pragma once

#include <juce_core/juce_core.h>

#include <atomic>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

/** The per-file data root in memory: finds a file's element by its key without a scan,
    gives every row of one file the same points, and remembers which elements this run
    changed, so that the data file can be written as what it holds by then plus those
    changes (another copy of the program may have written it meanwhile).

    Message thread only; the points themselves are atomic, for the audio thread. */
class PointStore
{
public:
    /** The cue and loop points that all rows of one file share. */
    struct Points
    {
        std::atomic<float> cue { 0.0f };
        std::atomic<float> loopA { 0.0f };
        std::atomic<float> loopB { 0.0f };

        /** What the data root held for the file when these were made (0 when nothing). */
        float storedCue = 0.0f, storedLoopA = 0.0f, storedLoopB = 0.0f;

        /** Set once the file has opened: from then on the points are the file's own. */
        std::atomic<bool> opened { false };

        /** Called once, when the file first opens: shows the stored points, unless the
            user has already set points of their own. Safe on the audio thread. */
        void fileOpened();
    };

    /** Over the root element of the data file; a null root stores nothing. */
    explicit PointStore (juce::XmlElement* root);

    /** The points of a file: those its other rows share, else new ones holding its stored points. */
    std::shared_ptr<Points> pointsFor (const juce::String& key, const juce::String& path);

    /** Makes sure the file has an element named by its path, so that another file sharing the
        key doesn't take it. */
    void claim (const juce::String& key, const juce::String& path);

    /** Writes the points into the file's element. */
    void store (const juce::String& key, const juce::String& path, const Points& points);

    /** Puts elements made since the last call after the others, in the order they were
        made (only a root of hundreds needs it): call before the root is written. */
    void restoreOrder();

    /** Applies what this run changed to a root read from the data file now: the points of
        files whose points changed here, and an element for each file new to it. */
    void mergeChangesInto (juce::XmlElement& current) const;

    /** While one lives, the elements made for new files are named only as it ends, all at
        once (see nameNewElements): for adding many files together. */
    class Batch
    {
    public:
        explicit Batch (PointStore& s)
            : store (s)
        {
            ++store.batchDepth;
        }
        ~Batch()
        {
            if (--store.batchDepth == 0)
                store.nameNewElements();
        }

    private:
        PointStore& store;
        JUCE_DECLARE_NON_COPYABLE (Batch)
    };

    juce::XmlElement* const root;

private:
    /** The element holding a file's points: the first with the key whose "name" is the path
        or that has no name yet. Another file whose path shares the key (the key hashes only
        part of a non-ASCII path) keeps an element of its own. */
    juce::XmlElement* find (const juce::String& key, const juce::String& path) const;
    juce::XmlElement* findOrCreate (const juce::String& key, const juce::String& path);
    juce::XmlElement* create (const juce::String& key);

    /** Gives the elements made during a batch their keys as names, in sorted order. */
    void nameNewElements();

    size_t numChildren = 0, prepended = 0;
    int batchDepth = 0;
    std::vector<std::pair<juce::String, juce::XmlElement*>> unnamed;   // made during a batch, and their keys

    struct Hash
    {
        size_t operator() (const juce::String& s) const noexcept { return (size_t) s.hashCode64(); }
    };

    std::unordered_map<juce::String, std::vector<juce::XmlElement*>, Hash> byKey;   // in document order
    std::unordered_map<juce::String, std::weak_ptr<Points>, Hash> shared;

    /** Elements this run made or wrote, in that order, and whether their points changed. */
    std::vector<juce::XmlElement*> touched;
    std::unordered_map<juce::XmlElement*, bool> changed;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PointStore)
};
