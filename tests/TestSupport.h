#pragma once

#include "engine/ReplayProcessor.h"
#include "JackServer.h"

#include <gtest/gtest.h>

#include <functional>

/** Gives each test a HOME of its own in a temporary folder, so nothing the program
    writes reaches the real user's files. */
class TempHomeTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    juce::File home;
    juce::File dataFolder() const;   // ~/.config/DravikLabs/Velorin
    juce::File audioFolder() const;  // a folder for generated audio files

private:
    juce::String previousHome;
};

namespace testaudio
{
    /** The value of sample i on channel c of every generated file: a ramp that differs
        per channel and never repeats within a few seconds, so positions can be read back. */
    float sampleValue (int channel, juce::int64 index);

    /** Writes a WAV or AIFF file (chosen by its extension) of the given shape. */
    void write (const juce::File& file, double sampleRate, int numChannels, juce::int64 numSamples,
                int bitsPerSample = 24);

    /** Overwrites a 16-bit big-endian field of an AIFF file's COMM chunk, at an offset from
        the chunk's id (8: channels, 14: bits per sample). */
    void patchAiffComm (const juce::File& file, int offset, int value);

    /** Sets the title and artist tags through TagLib. */
    void setTags (const juce::File& file, const juce::String& title, const juce::String& artist);

    /** Writes a WAV of a few decaying chords, stereo 16-bit: something that looks like music. */
    void writeMusic (const juce::File& file, double sampleRate, double seconds);

    /** Renders one block the way the player does: under the callback lock. */
    void renderBlock (ReplayProcessor& processor, juce::AudioBuffer<float>& buffer,
                      juce::MidiBuffer& midi);
    void renderBlock (ReplayProcessor& processor, juce::AudioBuffer<float>& buffer);
}
