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

    // Beyond this a position can't be represented (and nothing that long can be played).
    constexpr float limit = 4.0e18f;
    return (juce::int64) juce::jlimit (-limit, limit, samples);
}

float ResampledAudioFormatReaderSource::positionToSeconds (juce::int64 position) const
{
    return (float) position / fileSampleRate;
}
