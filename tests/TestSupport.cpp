#include "TestSupport.h"
#include "engine/XmlFiles.h"

#include <taglib/fileref.h>
#include <taglib/tag.h>

#include <cmath>
#include <cstdlib>

void TempHomeTest::SetUp()
{
    home = juce::File::createTempFile ("velorin-home");
    ASSERT_TRUE (home.createDirectory());
    previousHome = juce::String (std::getenv ("HOME"));
    setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
    ASSERT_EQ (XmlFiles::getDataFolder(), home.getChildFile (".config/DravikLabs/Velorin"));
    ASSERT_TRUE (audioFolder().createDirectory());
}

void TempHomeTest::TearDown()
{
    setenv ("HOME", previousHome.toRawUTF8(), 1);
    home.deleteRecursively();
}

juce::File TempHomeTest::dataFolder() const   { return home.getChildFile (".config/DravikLabs/Velorin"); }
juce::File TempHomeTest::audioFolder() const  { return home.getChildFile ("audio"); }

namespace testaudio
{
    float sampleValue (int channel, juce::int64 index)
    {
        // Exactly representable at 24 bits, different on each channel and for each index below 2^20.
        const auto step = (float) ((index % (1 << 20)) + 1) / (float) (1 << 21);
        return channel == 0 ? step : -step;
    }

    void write (const juce::File& file, double sampleRate, int numChannels, juce::int64 numSamples,
                int bitsPerSample)
    {
        std::unique_ptr<juce::AudioFormat> format;

        if (file.hasFileExtension ("aif;aiff"))
            format = std::make_unique<juce::AiffAudioFormat>();
        else
            format = std::make_unique<juce::WavAudioFormat>();

        file.deleteFile();
        auto stream = std::make_unique<juce::FileOutputStream> (file);
        ASSERT_TRUE (stream->openedOk());

        std::unique_ptr<juce::AudioFormatWriter> writer (
            format->createWriterFor (stream.get(), sampleRate, (unsigned int) numChannels, bitsPerSample, {}, 0));
        ASSERT_NE (writer, nullptr);
        stream.release();

        constexpr int blockSize = 4096;
        juce::AudioBuffer<float> block (numChannels, blockSize);

        for (juce::int64 start = 0; start < numSamples; start += blockSize)
        {
            const auto count = (int) juce::jmin ((juce::int64) blockSize, numSamples - start);

            for (int c = 0; c < numChannels; ++c)
                for (int i = 0; i < count; ++i)
                    block.setSample (c, i, sampleValue (c, start + i));

            ASSERT_TRUE (writer->writeFromAudioSampleBuffer (block, 0, count));
        }
    }

    void patchAiffComm (const juce::File& file, int offset, int value)
    {
        juce::MemoryBlock data;
        ASSERT_TRUE (file.loadFileAsData (data));
        auto* raw = static_cast<juce::uint8*> (data.getData());
        int comm = -1;

        for (size_t i = 12; i + 4 < data.getSize(); ++i)
            if (std::memcmp (raw + i, "COMM", 4) == 0)
                comm = (int) i;

        ASSERT_GT (comm, 0);
        raw[comm + offset] = (juce::uint8) (value >> 8);
        raw[comm + offset + 1] = (juce::uint8) (value & 0xff);
        ASSERT_TRUE (file.replaceWithData (data.getData(), data.getSize()));
    }

    void setTags (const juce::File& file, const juce::String& title, const juce::String& artist)
    {
        TagLib::FileRef ref (file.getFullPathName().toRawUTF8());
        ASSERT_FALSE (ref.isNull());
        ref.tag()->setTitle (TagLib::String (title.toRawUTF8(), TagLib::String::UTF8));
        ref.tag()->setArtist (TagLib::String (artist.toRawUTF8(), TagLib::String::UTF8));
        ASSERT_TRUE (ref.save());
    }

    void writeMusic (const juce::File& file, double sampleRate, double seconds)
    {
        file.deleteFile();
        std::unique_ptr<juce::AudioFormatWriter> writer (juce::WavAudioFormat().createWriterFor (
            new juce::FileOutputStream (file), sampleRate, 2, 16, {}, 0));
        ASSERT_NE (writer, nullptr);

        const auto total = (int) (seconds * sampleRate);
        juce::AudioBuffer<float> buffer (2, total);
        const double chords[][3] = { { 220.0, 277.2, 329.6 }, { 196.0, 246.9, 293.7 }, { 174.6, 220.0, 261.6 } };

        for (int i = 0; i < total; ++i)
        {
            const auto t = i / sampleRate;
            const auto beat = std::fmod (t, 1.5);
            const auto& chord = chords[(int) (t / 1.5) % 3];
            const auto envelope = std::exp (-2.0 * beat) * 0.3;
            double left = 0.0, right = 0.0;

            for (int n = 0; n < 3; ++n)
            {
                left += std::sin (juce::MathConstants<double>::twoPi * chord[n] * t) * envelope;
                right += std::sin (juce::MathConstants<double>::twoPi * chord[n] * 1.002 * t) * envelope;
            }

            buffer.setSample (0, i, (float) left);
            buffer.setSample (1, i, (float) right);
        }

        ASSERT_TRUE (writer->writeFromAudioSampleBuffer (buffer, 0, total));
    }

    void renderBlock (ReplayProcessor& processor, juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi)
    {
        const juce::ScopedLock sl (processor.getCallbackLock());
        processor.processBlock (buffer, midi);
    }

    void renderBlock (ReplayProcessor& processor, juce::AudioBuffer<float>& buffer)
    {
        juce::MidiBuffer none;
        renderBlock (processor, buffer, none);
    }
}
