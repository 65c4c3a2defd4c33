#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <atomic>

/** One learnable action: its number and the learned message as text ("90 3c 7f"),
    empty while nothing is learned. */
struct MidiMapping
{
    std::atomic<int> action { 0 };
    juce::String message;
};

/** Four MIDI-triggered transport actions (0 next, 1 previous, 2 play/pause, 3 loop),
    learned from incoming messages while learning is on, kept in the "midi.map" file:
    read when the map is made, written when it is destroyed. */
class MidiMap
{
public:
    static constexpr int numMappings = 4;

    MidiMap();
    ~MidiMap();

    /** Audio thread. Matches or learns a message; true (with the action set) on a match. */
    bool handleMessage (const juce::MidiMessage& message, int& action);

    /** Message thread: the row the next message will be learned into, while learning. */
    void selectLearnTarget (int action);

    /** A message's raw bytes as lower-case hex, separated by single blanks. */
    static juce::String messageText (const juce::MidiMessage& message);

    /** Writes the map file, once: here or else in the destructor. The rows learned in this
        run go into what the file holds by then (another copy may have written it meanwhile);
        the others keep the file's. A file that couldn't be read at start is left alone. */
    void write();

    static juce::File getMapFile();

    MidiMapping mappings[numMappings];
    std::atomic<int> learnIndex { -1 };
    std::atomic<bool> learning { false };

private:
    juce::String loaded[numMappings];   // the rows as the file held them at start
    bool mayReplace = true;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MidiMap)
};
