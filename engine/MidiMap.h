#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <atomic>

/** One learnable action: its number and the learned message, kept as raw bytes in room
    reserved beforehand, so the audio thread learns and matches without allocating. The
    message's text ("90 3c 7f") is made from the bytes on the message thread. */
struct MidiMapping
{
    /** A message's bytes; a size of 0 matches nothing. */
    struct Bytes
    {
        juce::HeapBlock<juce::uint8> data;
        int capacity = 0;
        int size = 0;
    };

    std::atomic<int> action { 0 };

    Bytes slots[2];   // matching reads the current one; a new message goes into the other
    std::atomic<int> current { 0 };
    std::atomic<int> version { 0 };   // counts the messages stored
    juce::String text;                // message thread: the text that was set, while `version` is `textVersion`
    int textVersion = 0;
};

/** Four MIDI-triggered transport actions (0 next, 1 previous, 2 play/pause, 3 loop),
    learned from incoming messages while learning is on, kept in the "midi.map" file:
    read when the map is made, written when it is destroyed. */
class MidiMap
{
public:
    static constexpr int numMappings = 4;

    /** The longest message the audio thread learns: a row has room for that much. A longer
        one is dropped, as a message with no learn target is. */
    static constexpr int maxLearnedSize = 65536;

    MidiMap();
    ~MidiMap();

    /** Audio thread. Matches or learns a message; true (with the action set) on a match.
        Allocates nothing; a row whose message has another length is passed over at once. */
    bool handleMessage (const juce::uint8* data, int size, int& action);
    bool handleMessage (const juce::MidiMessage& message, int& action);

    /** Message thread: the row the next message will be learned into, while learning. */
    void selectLearnTarget (int action);

    /** Message thread: a row's message as text, empty while it has none. */
    juce::String getMessage (int row) const;

    /** Message thread, while no block is being processed: sets a row's message from its text.
        A text that is no message's text (upper-case digits, extra blanks) is kept as it is
        and never matches. */
    void setMessage (int row, const juce::String& text);

    /** A message's raw bytes as lower-case hex, separated by single blanks. */
    static juce::String messageText (const juce::MidiMessage& message);

    /** Writes the map file, once: here or else in the destructor. The rows learned in this
        run go into what the file holds by then (another copy may have written it meanwhile);
        the others keep the file's. A file that couldn't be read at start is left alone. Its
        read and write are one step under the data folder's write lock; when the file can't
        be written (or the lock can't be had) stderr is told why. */
    void write();

    static juce::File getMapFile();

    MidiMapping mappings[numMappings];
    std::atomic<int> learnIndex { -1 };
    std::atomic<bool> learning { false };

private:
    /** write's read, merge and write, under the lock; false when the file couldn't be written. */
    bool writeLocked() const;

    /** Audio thread: stores a learned message in the row's free slot and makes it current. */
    static void store (MidiMapping& row, const juce::uint8* data, int size);

    juce::String loaded[numMappings];   // the rows as the file held them at start
    bool mayReplace = true;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MidiMap)
};
