#pragma once

#include "engine/MidiMap.h"
#include "engine/PlaylistEntry.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <string>
#include <unordered_set>

/** The player's engine: the playlist, the current entry, the transport flags, the volume
    and the learned MIDI actions, rendered block by block on the audio thread.

    Threads: the audio thread runs processBlock under the callback lock, which the
    player holds around every block. The message thread changes the playlist and reaches
    entries' sources only through the operations here, which take that lock just long
    enough to swap pointers or move a position; entries and readers are built and
    destroyed outside it. Flags, index, volume, gain and delay are atomic. */
class ReplayProcessor : public juce::AudioProcessor
{
public:
    ReplayProcessor();
    ~ReplayProcessor() override;

    //==============================================================================
    const juce::String getName() const override;
    void prepareToPlay (double sampleRate, int samplesPerBlock) override;
    void releaseResources() override;
    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages) override;
    using juce::AudioProcessor::processBlock;

    bool silenceInProducesSilenceOut() const override;
    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;

    // The host-facing parameter and channel interface: two plain parameters, "gain" and
    // "delay", and numbered channels in stereo pairs.
    JUCE_BEGIN_IGNORE_WARNINGS_GCC_LIKE ("-Wdeprecated-declarations")
    const juce::String getInputChannelName (int channelIndex) const override;
    const juce::String getOutputChannelName (int channelIndex) const override;
    bool isInputChannelStereoPair (int index) const override;
    bool isOutputChannelStereoPair (int index) const override;

    using juce::AudioProcessor::getParameterName;
    using juce::AudioProcessor::getParameterText;
    int getNumParameters() override;
    const juce::String getParameterName (int parameterIndex) override;
    float getParameter (int parameterIndex) override;
    const juce::String getParameterText (int parameterIndex) override;
    void setParameter (int parameterIndex, float newValue) override;
    JUCE_END_IGNORE_WARNINGS_GCC_LIKE

    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int index) override;
    const juce::String getProgramName (int index) override;
    void changeProgramName (int index, const juce::String& newName) override;

    /** The state blob: "MYPLUGINSETTINGS" with uiWidth, uiHeight, gain and delay. */
    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;

    //==============================================================================
    /** Appends a new entry when the file name matches one of the audio formats; true when it did. */
    bool addFile (const juce::File& file);

    /** What a folder scan couldn't add. */
    struct FolderScan
    {
        juce::Array<juce::File> cutShort;   // folders whose listing took longer than folderScanLimitSeconds
        juce::StringArray unreadable;       // "<folder>: <reason>" for each folder that couldn't be listed
        juce::StringArray notUtf8;          // audio files and folders whose names aren't UTF-8, as "/path/Caf\xe9.wav"
    };

    /** Appends the audio files of a folder tree, depth first: in each folder the files of
        its subfolders (folders and files each in natural name order), then its own. Each
        real folder is scanned once, however many links lead to it. A name that isn't UTF-8
        is left out: no file of the program could hold it. */
    FolderScan addDirectory (const juce::File& folder);

    /** Adds every file a saved playlist lists. Only absolute paths are taken; what else an
        item holds, and any path that isn't of an audio file, goes into `skipped` (if given).
        False when the file couldn't be read or isn't a playlist. */
    bool loadPlaylist (const juce::File& file, juce::StringArray* skipped = nullptr);

    /** How long the listing of one folder may take before it is cut short. */
    double folderScanLimitSeconds = 100.0;

    /** Removes and deletes the entry at the index; any index is accepted. */
    void removeEntry (int index);

    /** Deletes every entry; the current index is left as it is. */
    void clearPlaylist();

    /** Writes the playlist file; true when it was written. */
    bool savePlaylist (const juce::File& file);

    /** Makes another entry current, unloading the one it leaves. */
    void selectTrack (int index);

    /** Moves the current index by delta (">>" is +1, "<<" -1), reading and changing it under
        one hold of the callback lock, so a track change by a block in between isn't lost. */
    void stepTrack (int delta);

    /** Inverts a flag in one atomic step: the user interface and processBlock both flip
        `paused` and `loopEnabled`, and a separate read and write would lose one of two flips. */
    static void flip (std::atomic<bool>& flag)
    {
        auto expected = flag.load();
        while (! flag.compare_exchange_weak (expected, ! expected))
        {
        }
    }

    /** The current index, or -1 while the playlist is empty. */
    int getCurrentIndex() const;

    /** The entry's play position in seconds, read safely against a block in progress. */
    float getEntryPositionSeconds (const PlaylistEntry& entry) const;

    /** Moves the entry's play position to the given time, safely against a block in progress. */
    void moveEntryTo (PlaylistEntry& entry, float seconds);

    static juce::File getDataFile();

    /** Why the data folder couldn't be made or written to when the processor started (so
        cue points and loops won't be kept), or an empty string when it could. */
    juce::String getDataFolderProblem() const;

    /** Writes data.xml and midi.map as they would be written at exit, leaving the playlist
        as it is: the end-of-run save, made before a shutdown that may be cut short.
        Destroying the processor afterwards writes neither again. */
    void writeDataFiles();

    //==============================================================================
    int uiWidth = 800;
    int uiHeight = 500;
    MidiMap midiMap;
    std::atomic<float> gain { 1.0f };
    std::atomic<float> delay { 0.5f };
    juce::AudioFormatManager formatManager;
    juce::OwnedArray<PlaylistEntry> playlist;
    std::unique_ptr<juce::XmlElement> dataRoot;
    std::unique_ptr<PointStore> storedPoints;   // the index over dataRoot that entries use
    std::atomic<int> currentIndex { -1 };
    std::atomic<bool> paused { true };
    std::atomic<bool> loopEnabled { false };
    std::atomic<bool> midiActivity { false };
    std::atomic<float> volume { 1.0f };

private:
    /** Writes data.xml: dataRoot when the file is as it was read, else what the file holds
        now plus what this run changed. A file that couldn't be read is left alone. When it
        can't be written (or the lock can't be had) stderr is told why. */
    void writeDataFile();

    /** writeDataFile's check, read, merge and write, under the data folder's write lock;
        false when the file couldn't be written. */
    bool writeDataFileLocked (const juce::File& file);

    bool dataFileMayBeReplaced = true;
    juce::String dataFileIdentity;
    juce::String dataFolderProblem;

    /** The steps of a track change; the caller holds the callback lock. Returns the
        source it unloaded, so the message thread can destroy it after the lock is gone. */
    std::unique_ptr<ResampledAudioFormatReaderSource> switchTrack (int index);

    void renderEntry (PlaylistEntry& entry, juce::AudioBuffer<float>& buffer);

    /** One folder level of addDirectory; `scanned` holds the canonical paths of the
        folders scanned so far, so no link leads to a folder twice. */
    void addDirectory (const juce::File& folder, std::unordered_set<std::string>& scanned, FolderScan& result);

    std::unique_ptr<juce::WildcardFileFilter> audioFiles;

    /** The current entry whose file didn't open when it was selected (audio thread), and the
        samples of silence left before the playlist goes on past it. */
    PlaylistEntry* unloadableEntry = nullptr;
    juce::int64 unloadableGapLeft = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ReplayProcessor)
};
