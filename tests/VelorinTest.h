#pragma once
#include "TestKit.h"
#include <gtest/gtest.h>
#include <sys/wait.h>

/** The text, or the image to 2 steps a channel, equals tests/references/<name>; if not, says where they differ.
    With VELORIN_UPDATE_REFERENCES=1, a test that has not failed so far writes the reference instead. */
::testing::AssertionResult matchesReference (const juce::String& text, const juce::String& name);
::testing::AssertionResult matchesReference (const juce::Image& image, const juce::String& name);

/** A test in a HOME of its own, whose record is compared at its end with tests/references/<suite>.<test>.txt
    (an empty record with no such file passes). It starts JUCE and shuts it down, as when it runs alone: nothing JUCE
    keeps (typefaces and text layouts in caches, the display connection, the default look) passes to the next test,
    which starts with the display this one started with. */
struct VelorinTest : ::testing::Test
{
    ~VelorinTest() override
    {
        setenv ("DISPLAY", startingDisplay.c_str(), 1);

        // Waits for the children that have ended: a ChildProcess waits only when asked, and a child it leaves
        // unwaited would answer a later test's wait().
        auto reaped = waitpid (-1, nullptr, WNOHANG);

        while (reaped > 0)
            reaped = waitpid (-1, nullptr, WNOHANG);
    }
    void TearDown() override;

    /** Adds "<what>: <values>" to the record, data keys (hashes of paths in this HOME) as "<key>". */
    void note (const juce::String& what, const juce::String& values = {});

    juce::File dataFile (const char* name) const { return privateHome.dataFolder().getChildFile (name); }

    /** The file's text, CR as "\r" and this HOME's audio folder as "~/audio". */
    juce::String read (const juce::File& file) const
    {
        return file.loadFileAsString().replace ("\r", "\\r").replace (audio.getFullPathName(), "~/audio");
    }

    juce::String read (const char* name) const { return read (dataFile (name)); }

    /** Writes a ramp file in ~/audio. */
    juce::File audioFile (const juce::String& name, double rate = 8000.0, int channels = 2, double seconds = 1.0,
                          int bits = 24) const
    {
        const auto written = testkit::writeAudio (audio.getChildFile (name), rate, channels,
                                                  std::llround (seconds * rate), bits);
        EXPECT_TRUE (written) << name;
        return audio.getChildFile (name);
    }

    /** The key of the file's element in data.xml. */
    static juce::String keyOf (const juce::File& file);

    const juce::ScopedJuceInitialiser_GUI gui;
    const std::string startingDisplay = getenv ("DISPLAY");
    testkit::PrivateHome privateHome;
    const juce::File home = privateHome.home;
    const juce::File audio = home.getChildFile ("audio");
    juce::String record;
};

/** A processor at 8 kHz (files at that rate pass the resampler unchanged) in blocks of 800 samples (0.1 s). */
struct ProcessorTest : VelorinTest
{
    ProcessorTest() { processor->setRateAndBufferSizeDetails (8000.0, 800); }

    /** Adds a ramp file of ~/audio to the playlist. */
    PlaylistEntry& add (const juce::String& name, double seconds = 1.0, int channels = 2, double rate = 8000.0)
    {
        processor->addFile (audioFile (name, rate, channels, seconds));
        return *processor->playlist.getLast();
    }

    /** Renders a block; with a name, notes its samples as runs of ramp positions ("0-799"), "silence" or "other",
        and the state. */
    void render (const juce::String& what = {}, juce::MidiBuffer midi = {});

    /** "current 1 (index 1), playing, loop | a.wav 2803 cue 0.25 | b.wav -": flags, then each entry's read position
        and points. */
    juce::String state() const;

    std::unique_ptr<ReplayProcessor> processor = std::make_unique<ReplayProcessor>();
};
