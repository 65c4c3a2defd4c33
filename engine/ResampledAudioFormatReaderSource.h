#pragma once

#include <juce_audio_formats/juce_audio_formats.h>

/** Reads an audio file at its own rate and converts it to the device's rate through an
    owned resampler. Read positions are sample indices at the file's rate. */
class ResampledAudioFormatReaderSource : public juce::AudioFormatReaderSource
{
public:
    /** Takes ownership of the reader. */
    ResampledAudioFormatReaderSource (juce::AudioFormatReader* reader, float outputSampleRate);
    ~ResampledAudioFormatReaderSource() override;

    void prepareResampled (int samplesPerBlockExpected, double sampleRate);

    /** Fills the request at the output rate, pulling file-rate audio from this source. */
    void getNextResampledAudioBlock (const juce::AudioSourceChannelInfo& info);

    /** Seconds to a file position: multiplied in single precision, truncated toward zero.
        NaN gives 0; a position more than 2^30 samples before the start or after the end is
        clamped to that distance (the readers can't take one further away). */
    juce::int64 secondsToPosition (float seconds) const;

    /** A file position to seconds, divided in single precision. */
    float positionToSeconds (juce::int64 position) const;

    std::unique_ptr<juce::ResamplingAudioSource> resampler;
    float outputSampleRate;
    float fileSampleRate;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ResampledAudioFormatReaderSource)
};
