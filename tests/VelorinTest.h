#pragma once

#include "TestKit.h"

#include <gtest/gtest.h>

#include <cmath>

/** Every test runs in a HOME of its own. */
class VelorinTest : public ::testing::Test
{
protected:
    juce::File dataFile (const char* name) const   { return privateHome.dataFolder().getChildFile (name); }

    /** A ramp file in ~/audio (rate, channels, seconds, bits). */
    juce::File audioFile (const juce::String& name, double rate = 8000.0, int channels = 2, double seconds = 1.0, int bits = 24) const
    {
        const auto file = audio.getChildFile (name);
        EXPECT_TRUE (testkit::writeAudio (file, rate, channels, std::llround (seconds * rate), bits)) << name;
        return file;
    }

    /** The key that names a file's element in data.xml. */
    static juce::String keyOf (const juce::File& file)
    {
        juce::AudioFormatManager formats;
        formats.registerBasicFormats();
        return PlaylistEntry (file, &formats, nullptr).getKey();
    }

    testkit::PrivateHome privateHome;
    const juce::File home = privateHome.home, audio = home.getChildFile ("audio");
    const juce::String declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n";
};

/** The image equals tests/references/<name>.png (to 2 steps a channel). VELORIN_UPDATE_REFERENCES=1
    writes the reference instead; a mismatch leaves <name>-actual.png in the working folder. */
inline ::testing::AssertionResult matchesReference (const juce::Image& image, const juce::String& name)
{
    const auto reference = juce::File (VELORIN_REFERENCES).getChildFile (name + ".png");
    const auto write = [&] (const juce::File& f) { f.deleteFile(); juce::FileOutputStream out (f); return juce::PNGImageFormat().writeImageToStream (image, out); };
    if (getenv ("VELORIN_UPDATE_REFERENCES") != nullptr && ! write (reference))
        return ::testing::AssertionFailure() << "cannot write " << reference.getFullPathName();

    const auto expected = juce::ImageFileFormat::loadFrom (reference);
    if (expected.getBounds() != image.getBounds())
        return ::testing::AssertionFailure() << "no reference " << reference.getFullPathName() << " of this size";
    int differing = 0;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
        {
            const auto a = image.getPixelAt (x, y), b = expected.getPixelAt (x, y);
            differing += std::abs (a.getRed() - b.getRed()) > 2 || std::abs (a.getGreen() - b.getGreen()) > 2
                      || std::abs (a.getBlue() - b.getBlue()) > 2 || std::abs (a.getAlpha() - b.getAlpha()) > 2 ? 1 : 0;
        }
    if (differing == 0)
        return ::testing::AssertionSuccess();
    write (juce::File::getCurrentWorkingDirectory().getChildFile (name + "-actual.png"));
    return ::testing::AssertionFailure() << differing << " pixels differ from " << reference.getFullPathName();
}

/** A processor at 8 kHz in blocks of 800 samples (0.1 s), so that files stay tiny; files at
    that rate pass through the resampler unchanged. */
class ProcessorTest : public VelorinTest
{
protected:
    ProcessorTest()   { processor->setRateAndBufferSizeDetails (8000.0, 800); }

    PlaylistEntry& add (const juce::String& name, double seconds = 1.0, int channels = 2, double rate = 8000.0)
    {
        processor->addFile (audioFile (name, rate, channels, seconds));
        return *processor->playlist.getLast();
    }

    juce::AudioBuffer<float> render (juce::MidiBuffer midi = {})
    {
        juce::AudioBuffer<float> buffer (2, 800);
        buffer.clear();
        testkit::renderBlock (*processor, buffer, midi);
        return buffer;
    }

    std::unique_ptr<ReplayProcessor> processor = std::make_unique<ReplayProcessor>();
};
