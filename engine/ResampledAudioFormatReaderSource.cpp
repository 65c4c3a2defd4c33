#include "engine/ResampledAudioFormatReaderSource.h"

#include <cmath>

ResampledAudioFormatReaderSource::ResampledAudioFormatReaderSource (juce::AudioFormatReader* fileReader,
                                                                    float outputRate)
    : juce::AudioFormatReaderSource (fileReader, true),
      outputSampleRate (outputRate)
{
    resampler = std::make_unique<juce::ResamplingAudioSource> (this, false, 2);
    resampler->setResamplingRatio (fileReader->sampleRate / (double) outputSampleRate);
    fileSampleRate = (float) fileReader->sampleRate;
}

ResampledAudioFormatReaderSource::~ResampledAudioFormatReaderSource()
{
    resampler.reset();
}

void ResampledAudioFormatReaderSource::prepareResampled (int samplesPerBlockExpected, double sampleRate)
{
    resampler->prepareToPlay (samplesPerBlockExpected, sampleRate);
}

void ResampledAudioFormatReaderSource::getNextResampledAudioBlock (const juce::AudioSourceChannelInfo& info)
{
    resampler->getNextAudioBlock (info);
}

juce::int64 ResampledAudioFormatReaderSource::secondsToPosition (float seconds) const
{
    const float samples = seconds * fileSampleRate;

    if (std::isnan (samples))
        return 0;

    // JUCE's readers count the distance to the end of the file in an int: a position more
    // than 2^31 samples away from it overflows there and writes past their buffers. Far
    // beyond the end is still beyond the end, so the end-of-file rule acts the same.
    constexpr double margin = 1 << 30;
    return (juce::int64) juce::jlimit (-margin, (double) getTotalLength() + margin, (double) samples);
}

float ResampledAudioFormatReaderSource::positionToSeconds (juce::int64 position) const
{
    return (float) position / fileSampleRate;
}
