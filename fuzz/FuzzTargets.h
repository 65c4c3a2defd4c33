#pragma once

#include <juce_core/juce_core.h>

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

/** The fuzz targets: one function per kind of input the player reads from outside. Each
    takes arbitrary bytes, feeds them to the program the way the program meets them, and
    checks what must hold afterwards. The libFuzzer executables and the regression test
    (which replays every file in tests/fuzz-regressions/<target>/) both call these functions.

    Every function works inside the current HOME (~/.config/DravikLabs/Velorin and a few
    folders of its own), so the caller must point HOME at a temporary folder first.

    A broken check, or a JUCE assertion that is not on the tolerated list, goes to the
    failure handler: by default it prints the reason and aborts, which libFuzzer records
    as a crash with its input. */
namespace fuzzing
{
    /** Byte 0 chooses the file's name and playback options, the rest is the file: added
        to a processor's playlist (TagLib and JUCE both read it), shown in a waveform view
        and played for three seconds at 48 kHz in 512-sample blocks. */
    void fuzzAudioFile (const std::uint8_t* data, std::size_t size);

    /** The bytes as data.xml ("@key@", "@KEY@" and "@path@" stand for the key and path of
        a real file): read by a processor, which adds that file, sets its points and writes
        the file; a second processor must read the file and the same points. */
    void fuzzDataFile (const std::uint8_t* data, std::size_t size);

    /** The bytes as midi.map: read by a MIDI map, which learns a message, matches it and
        writes the file; a second map must read the same mappings. */
    void fuzzMidiMap (const std::uint8_t* data, std::size_t size);

    /** The bytes as .config: read by a ConfigFile, which sets a value and writes the file;
        a second ConfigFile must read the same settings. */
    void fuzzConfigFile (const std::uint8_t* data, std::size_t size);

    /** The bytes as a playlist file loaded by the editor ("@path@" stands for the path of
        a real file); the playlist saved, cleared and loaded again must list the same files. */
    void fuzzPlaylist (const std::uint8_t* data, std::size_t size);

    /** The bytes as a small program of MIDI events, learning switches, learn targets and
        blocks, run through a processor's processBlock; every learned message must match
        its action afterwards. */
    void fuzzMidiMessages (const std::uint8_t* data, std::size_t size);

    struct Target
    {
        const char* name;
        void (*run) (const std::uint8_t*, std::size_t);
        std::size_t maxLength;   // longer inputs are cut to this length (and libFuzzer's -max_len)
    };

    /** Every target, by the name used for its executable (<name>_fuzzer) and folders. */
    const std::vector<Target>& getTargets();
    const Target* findTarget (const juce::String& name);

    /** Replaces what a broken check or an untolerated assertion does (default: print, abort). */
    void setFailureHandler (std::function<void (const juce::String&)> handler);

    /** Reports a failure through the handler. */
    void fail (const juce::String& message);

    /** Deletes the state kept between inputs (processors, editor, view). Call it before the
        HOME they live in goes away. */
    void releaseState();

    /** While it exists, JUCE's log goes through it to stderr, except the assertions on the
        tolerated list; any other assertion is also reported as a failure. The logger that
        was there before comes back when it is destroyed. */
    class ScopedAssertionCheck : private juce::Logger
    {
    public:
        ScopedAssertionCheck();
        ~ScopedAssertionCheck() override;

    private:
        void logMessage (const juce::String& message) override;
        juce::Logger* previous;
    };

    /** For the fuzzer executables: HOME in a fresh temporary folder, JUCE's message manager
        and the assertion check; all torn down (and the folder deleted) at exit. */
    void initialiseFuzzer();

    /** Writes a short stereo or mono test tone as WAV or AIFF (by the file's extension). */
    bool writeTone (const juce::File& file, double sampleRate, int numChannels, int numSamples,
                    int bitsPerSample, double frequency = 440.0);

    /** The real audio file the data and playlist targets add: ~/audio/take.wav (in the
        temporary HOME), written when missing. */
    juce::File getTakeFile();
}
