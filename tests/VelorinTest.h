#pragma once
#include "TestKit.h"
#include <juce_cryptography/juce_cryptography.h>
#include <gtest/gtest.h>
/** The text or image (to 2 steps a channel) equals tests/references/<name>, or with VELORIN_UPDATE_REFERENCES=1 is written there. */
::testing::AssertionResult matchesReference (const juce::String& text, const juce::String& name);
::testing::AssertionResult matchesReference (const juce::Image& image, const juce::String& name);

/** A test in a HOME of its own, whose notes are compared at its end with tests/references/<suite>.<test>.txt. */
struct VelorinTest : ::testing::Test
{
    void TearDown() override   { const auto* t = ::testing::UnitTest::GetInstance()->current_test_info();
                                 EXPECT_TRUE (record.isEmpty() ? ::testing::AssertionSuccess() : matchesReference (record, juce::String (t->test_suite_name()) + "." + t->name() + ".txt")); }
    /** Adds "<what>: <values>", data keys (hashes of paths in this HOME) as "<key>". */
    void note (const juce::String& what, const juce::String& values = {});
    juce::File dataFile (const char* name) const   { return privateHome.dataFolder().getChildFile (name); }
    juce::String read (const juce::File& file) const   { return file.loadFileAsString().replace ("\r", "\\r").replace (audio.getFullPathName(), "~/audio"); }   // CR as "\\r"
    juce::String read (const char* name) const         { return read (dataFile (name)); }
    juce::File audioFile (const juce::String& name, double rate = 8000.0, int channels = 2, double seconds = 1.0, int bits = 24) const   // a ramp in ~/audio
    {   EXPECT_TRUE (testkit::writeAudio (audio.getChildFile (name), rate, channels, std::llround (seconds * rate), bits)) << name; return audio.getChildFile (name); }
    /** Its bounds, and a button's text and tooltip. */
    static juce::String seen (juce::Component& c)   { auto* b = dynamic_cast<juce::Button*> (&c);
                                                      return c.getBounds().toString() + (b != nullptr ? " \"" + b->getButtonText() + "\" \"" + b->getTooltip() + "\"" : ""); }
    static juce::String keyOf (const juce::File& file)   { return juce::MD5 (file.getFullPathName().toRawUTF8(), (size_t) file.getFullPathName().length()).toHexString(); }   // of its data.xml element
    testkit::PrivateHome privateHome;
    const juce::File home = privateHome.home, audio = home.getChildFile ("audio");
    juce::String record;
};
/** A processor at 8 kHz (files at that rate pass the resampler unchanged) in blocks of 800 samples (0.1 s). */
struct ProcessorTest : VelorinTest
{
    ProcessorTest()   { processor->setRateAndBufferSizeDetails (8000.0, 800); }
    PlaylistEntry& add (const juce::String& name, double seconds = 1.0, int channels = 2, double rate = 8000.0)   { processor->addFile (audioFile (name, rate, channels, seconds)); return *processor->playlist.getLast(); }
    /** Renders a block; with a name, notes its ramp samples as runs of file positions ("0-799"), "silence" or "other", and the state. */
    juce::AudioBuffer<float> render (const juce::String& what = {}, juce::MidiBuffer midi = {});
    /** "current 1 (index 1), playing, loop | a.wav 2803 cue 0.25 | b.wav -": flags, each entry's read position and points. */
    juce::String state() const;
    std::unique_ptr<ReplayProcessor> processor = std::make_unique<ReplayProcessor>();
};
