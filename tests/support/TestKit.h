#pragma once

#include "engine/ReplayProcessor.h"

#include <functional>

/** What the tests, fuzzers, soak and benchmark share: a private HOME, generated audio
    files, rendering as the player does, the JUCE assertions we tolerate, and a JACK server. */
namespace testkit
{
    /** Points HOME at a fresh temporary folder while it lives, then deletes the folder. */
    struct PrivateHome
    {
        PrivateHome();
        ~PrivateHome();
        juce::File dataFolder() const;   // ~/.config/DravikLabs/Velorin
        juce::File home;
        juce::String previous;
    };

    /** Sample i of channel c of a ramp file: exact at 24 bits, distinct below 2^20 samples. */
    float rampValue (int channel, juce::int64 index);

    /** Writes a WAV or AIFF (by extension): the ramp, or when `music` a few decaying chords. */
    bool writeAudio (const juce::File& file, double rate, int channels, juce::int64 samples,
                     int bits = 24, bool music = false);
    bool setTags (const juce::File& file, const juce::String& title, const juce::String& artist);

    /** Renders one block the way the player does: under the processor's callback lock. */
    void renderBlock (ReplayProcessor& processor, juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi);
    void renderBlock (ReplayProcessor& processor, juce::AudioBuffer<float>& buffer);

    /** True for the JUCE assertions that arbitrary input reaches with nothing wrong. */
    bool isTolerated (const juce::String& logLine);

    /** While it lives, JUCE's log goes to stderr but for the tolerated assertions; any other
        assertion is passed to `onAssertion` too. */
    struct AssertionCheck : juce::Logger
    {
        explicit AssertionCheck (std::function<void (const juce::String&)> onAssertion = {});
        ~AssertionCheck() override;
        void logMessage (const juce::String& message) override;
        std::function<void (const juce::String&)> onAssertion;
        juce::Logger* previousLogger;
    };

    /** A JACK server on its dummy back end (real-time paced, no sound card), made this
        process's default server while it lives. It dies with this process, and takes the
        first free name of a few, so a slot left in JACK's registry is reused next time. */
    struct JackServer
    {
        JackServer();
        ~JackServer();
        bool isRunning() const;
        juce::String name;
        bool ready = false;
        int pid = 0;
    };
}
