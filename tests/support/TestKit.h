#pragma once
#include "engine/ReplayProcessor.h"
namespace testkit   // what the tests, fuzzers, soak and benchmark share
{
    /** Points HOME at a fresh temporary folder (with an empty "audio" folder) while it lives. */
    struct PrivateHome
    {
        PrivateHome() : previous (getenv ("HOME")), home (juce::File::createTempFile ("velorin-home"))   { home.getChildFile ("audio").createDirectory(); setenv ("HOME", home.getFullPathName().toRawUTF8(), 1); }
        ~PrivateHome()   { setenv ("HOME", previous.toRawUTF8(), 1); home.deleteRecursively(); }
        juce::File dataFolder() const   { return home.getChildFile (".config/DravikLabs/Velorin"); }
        const juce::String previous;
        const juce::File home;
    };
    /** Sample i of channel c of a ramp file: exact at 24 bits, distinct below 2^20 samples. */
    inline float rampValue (int channel, juce::int64 index)   { return (channel == 0 ? 1.0f : -1.0f) * (float) ((index % (1 << 20)) + 1) / (float) (1 << 21); }
    /** Writes a WAV or AIFF (by extension): the ramp, or when `music` a few decaying chords. */
    bool writeAudio (const juce::File& file, double rate, int channels, juce::int64 samples, int bits = 24, bool music = false);
    bool setTags (const juce::File& file, const juce::String& title, const juce::String& artist);
    /** Puts a chunk before the audio of a WAV or AIFF file (by extension). */
    bool insertChunk (const juce::File& file, const char* id, const juce::MemoryBlock& content);
    inline void renderBlock (ReplayProcessor& p, juce::AudioBuffer<float>& b, juce::MidiBuffer& midi)   { const juce::ScopedLock sl (p.getCallbackLock()); p.processBlock (b, midi); }   // as the player does
    inline void renderBlock (ReplayProcessor& p, juce::AudioBuffer<float>& b, juce::MidiBuffer&& midi = {})   { renderBlock (p, b, midi); }
    /** While it lives, JUCE's log but the tolerated assertions (TestKit.cpp) goes to stderr, its assertions also to `onAssertion`. */
    struct AssertionCheck : juce::Logger
    {
        explicit AssertionCheck (std::function<void (const juce::String&)> handler = {}) : onAssertion (std::move (handler))   { setCurrentLogger (this); }
        ~AssertionCheck() override   { setCurrentLogger (previousLogger); }
        void logMessage (const juce::String& message) override;
        std::function<void (const juce::String&)> onAssertion;
        juce::Logger* const previousLogger = getCurrentLogger();
    };
    /** A JACK server on its dummy back end (real-time paced, no sound card), this process's default while it lives.
        It dies with this process, under the first free name of a few: a slot left in JACK's registry is taken again. */
    struct JackServer
    {
        JackServer();
        ~JackServer();
        juce::String name;
        bool ready = false;
        int pid = 0;
    };
}
