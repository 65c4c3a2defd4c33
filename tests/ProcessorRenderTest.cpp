#include "TestSupport.h"

// Block rendering: transport, end of file, loops, selection, MIDI actions and volume.
// The device runs at 8 kHz in blocks of 800 samples (0.1 s) so files stay tiny; files
// at the same rate make the resampler pass samples through unchanged.

namespace
{
    constexpr double deviceRate = 8000.0;
    constexpr int blockSize = 800;
    constexpr int lookAhead = 3;   // the resampler reads this far ahead of what it outputs

    juce::MidiBuffer midiOf (std::initializer_list<juce::MidiMessage> messages)
    {
        juce::MidiBuffer buffer;
        int time = 0;

        for (const auto& m : messages)
            buffer.addEvent (m, time++);

        return buffer;
    }
}

class RenderTest : public TempHomeTest
{
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        processor = std::make_unique<ReplayProcessor>();
        processor->setRateAndBufferSizeDetails (deviceRate, blockSize);
    }

    void TearDown() override
    {
        processor.reset();
        TempHomeTest::TearDown();
    }

    PlaylistEntry& add (const juce::String& name, double seconds, int channels = 2, double fileRate = deviceRate)
    {
        const auto file = audioFolder().getChildFile (name);
        testaudio::write (file, fileRate, channels, (juce::int64) (seconds * fileRate));
        processor->addFile (file);
        return *processor->playlist.getLast();
    }

    juce::AudioBuffer<float> render (juce::MidiBuffer midi = {})
    {
        juce::AudioBuffer<float> buffer (2, blockSize);
        buffer.clear();
        testaudio::renderBlock (*processor, buffer, midi);
        return buffer;
    }

    juce::int64 readPosition (int index) const
    {
        auto* source = processor->playlist[index]->source.get();
        return source != nullptr ? source->getNextReadPosition() : -1;
    }

    /** True when the block, from sample `skip` on, is `gain` times the file's samples from `start`.
        (After a jump the resampler first plays out the few samples it had read ahead.) */
    static ::testing::AssertionResult blockPlays (const juce::AudioBuffer<float>& buffer, juce::int64 start,
                                                  float gain = 1.0f, int skip = 0)
    {
        for (int c = 0; c < 2; ++c)
        {
            for (int i = skip; i < buffer.getNumSamples(); ++i)
            {
                const auto expected = gain * testaudio::sampleValue (c, start + i - skip);

                if (buffer.getSample (c, i) != expected)
                    return ::testing::AssertionFailure() << "channel " << c << " sample " << i << " is "
                                                         << buffer.getSample (c, i) << ", expected " << expected;
            }
        }

        return ::testing::AssertionSuccess();
    }

    static bool isSilent (const juce::AudioBuffer<float>& buffer)
    {
        return buffer.getMagnitude (0, buffer.getNumSamples()) == 0.0f;
    }

    std::unique_ptr<ReplayProcessor> processor;
};

TEST_F (RenderTest, EmptyPlaylistPausesAndRendersSilence)
{
    processor->paused = false;
    juce::AudioBuffer<float> buffer (2, blockSize);
    buffer.applyGain (0.0f);
    for (int i = 0; i < blockSize; ++i)
        buffer.setSample (0, i, 0.25f);

    testaudio::renderBlock (*processor, buffer);

    EXPECT_TRUE (processor->paused);
    EXPECT_TRUE (isSilent (buffer));
    EXPECT_EQ (processor->getCurrentIndex(), -1);
}

TEST_F (RenderTest, FirstBlockMakesEntryZeroCurrentEvenWhilePaused)
{
    add ("a.wav", 1.0);
    add ("b.wav", 1.0);
    ASSERT_EQ (processor->currentIndex, -1);

    EXPECT_TRUE (isSilent (render()));
    EXPECT_EQ (processor->getCurrentIndex(), 0);
    EXPECT_EQ (processor->playlist[0]->source, nullptr);   // loaded only when playing

    processor->paused = false;
    EXPECT_TRUE (blockPlays (render(), 0));
}

TEST_F (RenderTest, EqualRatePassesSamplesThroughTimesVolume)
{
    auto& entry = add ("a.wav", 2.0);
    entry.cue = 0.25f;
    render();
    processor->paused = false;
    processor->volume = 0.5f;

    EXPECT_TRUE (blockPlays (render(), 2000, 0.5f));
    EXPECT_EQ (readPosition (0), 2000 + blockSize + lookAhead);
    EXPECT_TRUE (blockPlays (render(), 2000 + blockSize, 0.5f));

    processor->volume = 0.0f;
    EXPECT_TRUE (isSilent (render()));
    processor->volume = 1.0f;
    EXPECT_TRUE (blockPlays (render(), 2000 + 3 * blockSize));
}

TEST_F (RenderTest, MonoFilePlaysOnBothChannels)
{
    add ("mono.wav", 1.0, 1);
    render();
    processor->paused = false;
    const auto out = render();

    for (int i = 0; i < blockSize; ++i)
    {
        ASSERT_EQ (out.getSample (0, i), testaudio::sampleValue (0, i));
        ASSERT_EQ (out.getSample (1, i), testaudio::sampleValue (0, i));
    }
}

TEST_F (RenderTest, OtherFileRateIsResampledToTheDevice)
{
    add ("fast.wav", 2.0, 2, 16000.0);
    render();
    processor->paused = false;
    render();

    // Two file samples for every device sample.
    EXPECT_NEAR ((double) readPosition (0), 2.0 * blockSize, 8.0);
    EXPECT_FLOAT_EQ (processor->playlist[0]->source->fileSampleRate, 16000.0f);
    EXPECT_NEAR (processor->getEntryPositionSeconds (*processor->playlist[0]), 0.1f, 0.001f);
}

TEST_F (RenderTest, PausedBlocksAreSilentAndKeepThePosition)
{
    add ("a.wav", 2.0);
    render();
    processor->paused = false;
    render();
    const auto position = readPosition (0);

    processor->paused = true;
    EXPECT_TRUE (isSilent (render()));
    EXPECT_EQ (readPosition (0), position);   // the source is kept while paused

    processor->paused = false;
    EXPECT_TRUE (blockPlays (render(), blockSize));
}

TEST_F (RenderTest, EndOfFileWaitsForTheGapThenAdvancesToTheNextCue)
{
    add ("a.wav", 1.0);
    auto& next = add ("b.wav", 1.0);
    next.cue = 0.25f;
    render();
    processor->paused = false;

    // The read position after block k is k * 800 + 3; the file is 8000 samples long and the
    // gap 0.5 s, so the block that reaches 12000 is the 15th.
    int blocks = 0;
    while (processor->getCurrentIndex() == 0 && blocks < 100)
    {
        const auto out = render();
        ++blocks;

        if (blocks > 11)
        {
            ASSERT_TRUE (isSilent (out)) << "block " << blocks;   // the gap after the file's end
        }
    }

    EXPECT_EQ (blocks, 15);
    EXPECT_EQ (processor->getCurrentIndex(), 1);
    EXPECT_EQ (processor->playlist[0]->source, nullptr);
    EXPECT_TRUE (blockPlays (render(), 2000));
}

TEST_F (RenderTest, LastEntryRestartsAtItsCue)
{
    auto& entry = add ("a.wav", 0.5);
    entry.cue = 0.25f;
    render();
    processor->paused = false;

    for (int i = 0; i < 30 && processor->playlist[0]->source == nullptr; ++i)
        render();

    for (int i = 0; i < 30 && processor->playlist[0]->source != nullptr; ++i)
        render();

    ASSERT_EQ (processor->playlist[0]->source, nullptr);   // unloaded at the end ...
    EXPECT_EQ (processor->getCurrentIndex(), 0);            // ... and still current
    EXPECT_FALSE (processor->paused);
    EXPECT_TRUE (blockPlays (render(), 2000));
}

TEST_F (RenderTest, LoopModeWithoutABRestartsAtTheStartNotTheCue)
{
    auto& entry = add ("a.wav", 0.5);
    add ("b.wav", 0.5);
    entry.cue = 0.25f;
    render();
    processor->paused = false;
    processor->loopEnabled = true;

    render();   // loads at 2000
    int blocks = 1;
    while (readPosition (0) > blockSize + lookAhead && blocks < 50)
    {
        render();
        ++blocks;
    }

    // From 2803 the position passes 4000 + 4000 (end plus gap) after 7 more blocks, and
    // then restarts at the start of the file.
    EXPECT_EQ (blocks, 8);
    EXPECT_EQ (readPosition (0), 0);
    EXPECT_EQ (processor->getCurrentIndex(), 0);
    EXPECT_TRUE (blockPlays (render(), 0, 1.0f, lookAhead));
}

TEST_F (RenderTest, ABLoopJumpsOnlyAfterPassingB)
{
    auto& entry = add ("a.wav", 2.0);
    entry.loopA = 0.2f;
    entry.loopB = 0.5f;
    render();
    processor->paused = false;
    processor->loopEnabled = true;
    render();

    // Position exactly at B (4000) does not jump.
    processor->moveEntryTo (entry, 0.4f);
    render();
    EXPECT_EQ (readPosition (0), 4000);

    render();   // 4800 > 4000: back to A
    EXPECT_EQ (readPosition (0), 1600);
    EXPECT_NEAR (processor->getEntryPositionSeconds (entry), 0.2f, 1.0e-6f);
}

TEST_F (RenderTest, ABLoopIsIgnoredWithLoopOffOrWhenANotBeforeB)
{
    auto& entry = add ("a.wav", 2.0);
    entry.loopA = 0.2f;
    entry.loopB = 0.5f;
    render();
    processor->paused = false;

    for (int i = 0; i < 8; ++i)
        render();

    EXPECT_EQ (readPosition (0), 8 * blockSize + lookAhead);   // loop off: plays on

    processor->loopEnabled = true;
    entry.loopA = 0.5f;                                          // A == B
    render();
    EXPECT_EQ (readPosition (0), 9 * blockSize + lookAhead);
    entry.loopA = 0.9f;                                          // A after B
    render();
    EXPECT_EQ (readPosition (0), 10 * blockSize + lookAhead);
}

TEST_F (RenderTest, ABLoopPastTheEndRestartsAtZero)
{
    auto& entry = add ("a.wav", 0.5);
    entry.loopA = 0.1f;
    entry.loopB = 5.0f;
    render();
    processor->paused = false;
    processor->loopEnabled = true;

    for (int i = 0; i < 10; ++i)
        render();

    // 10 blocks reach 8003 >= 4000 + 4000: end-of-file rule, back to the start.
    EXPECT_EQ (readPosition (0), 0);
}

TEST_F (RenderTest, SelectTrackRules)
{
    add ("a.wav", 1.0);
    add ("b.wav", 1.0);
    render();
    processor->paused = false;
    render();
    const auto position = readPosition (0);

    processor->selectTrack (0);   // the current index: nothing
    EXPECT_EQ (readPosition (0), position);

    processor->selectTrack (-1);  // below 0: pause only
    EXPECT_TRUE (processor->paused);
    EXPECT_EQ (processor->getCurrentIndex(), 0);
    EXPECT_EQ (readPosition (0), position);

    processor->paused = false;
    processor->selectTrack (3);   // above the size: pause only
    EXPECT_TRUE (processor->paused);
    EXPECT_EQ (readPosition (0), position);

    processor->paused = false;
    processor->selectTrack (1);
    EXPECT_EQ (processor->playlist[0]->source, nullptr);
    render();
    EXPECT_NE (processor->playlist[1]->source, nullptr);

    processor->selectTrack (2);   // the size: reloads the last entry
    EXPECT_EQ (processor->getCurrentIndex(), 1);
    EXPECT_EQ (processor->playlist[1]->source, nullptr);
    EXPECT_FALSE (processor->paused);
}

TEST_F (RenderTest, MidiActionsRunBeforeTheBlockInEventOrder)
{
    for (auto name : { "a.wav", "b.wav", "c.wav", "d.wav" })
        add (name, 1.0);

    render();
    const auto next = juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100);
    const auto play = juce::MidiMessage::controllerEvent (1, 20, 127);
    const auto loop = juce::MidiMessage::controllerEvent (1, 21, 127);
    processor->midiMap.mappings[0].message = MidiMap::messageText (next);
    processor->midiMap.mappings[2].message = MidiMap::messageText (play);
    processor->midiMap.mappings[3].message = MidiMap::messageText (loop);

    render (midiOf ({ next, next, play, loop }));
    EXPECT_EQ (processor->getCurrentIndex(), 2);   // two "next" events advance two entries
    EXPECT_FALSE (processor->paused);
    EXPECT_TRUE (processor->loopEnabled);
    EXPECT_TRUE (processor->midiActivity);
    EXPECT_NE (processor->playlist[2]->source, nullptr);   // and the block already plays it

    processor->midiActivity = false;
    render (midiOf ({ juce::MidiMessage::noteOff (1, 60) }));
    EXPECT_TRUE (processor->midiActivity);          // unmatched messages still flash the light
    EXPECT_EQ (processor->getCurrentIndex(), 2);

    processor->midiActivity = false;
    render();
    EXPECT_FALSE (processor->midiActivity);
}

TEST_F (RenderTest, MidiPreviousOnFirstEntryOnlyPauses)
{
    add ("a.wav", 1.0);
    render();
    processor->paused = false;
    const auto previous = juce::MidiMessage::controllerEvent (1, 22, 1);
    processor->midiMap.mappings[1].message = MidiMap::messageText (previous);

    render (midiOf ({ previous }));
    EXPECT_TRUE (processor->paused);
    EXPECT_EQ (processor->getCurrentIndex(), 0);
}

TEST_F (RenderTest, EntryThatCannotLoadIsTriedOnceAndPassedAfterTheGap)
{
    const auto broken = audioFolder().getChildFile ("broken.wav");
    ASSERT_TRUE (broken.replaceWithText ("not audio at all"));
    processor->addFile (broken);
    add ("a.wav", 1.0);
    render();
    processor->paused = false;

    EXPECT_TRUE (isSilent (render()));

    // Not opened again within the selection, even once it could be.
    testaudio::write (broken, deviceRate, 2, 8000);
    EXPECT_TRUE (isSilent (render()));
    EXPECT_EQ (processor->playlist[0]->source, nullptr);

    for (int i = 0; i < 3 && processor->getCurrentIndex() == 0; ++i)   // the 0.5 s gap: 5 blocks in all
        EXPECT_TRUE (isSilent (render()));

    EXPECT_EQ (processor->getCurrentIndex(), 1);
    EXPECT_TRUE (blockPlays (render(), 0));

    // Selected again, it is tried again.
    processor->selectTrack (0);
    EXPECT_TRUE (blockPlays (render(), 0));
}

TEST_F (RenderTest, NoSampleRateOrNoChannelsRendersNothing)
{
    add ("a.wav", 1.0);
    render();
    processor->paused = false;

    processor->setRateAndBufferSizeDetails (0.0, blockSize);
    EXPECT_TRUE (isSilent (render()));
    EXPECT_EQ (processor->playlist[0]->source, nullptr);

    processor->setRateAndBufferSizeDetails (deviceRate, blockSize);
    juce::AudioBuffer<float> noChannels (0, blockSize);
    testaudio::renderBlock (*processor, noChannels);
    EXPECT_EQ (processor->playlist[0]->source, nullptr);

    juce::AudioBuffer<float> empty (2, 0);
    testaudio::renderBlock (*processor, empty);
    EXPECT_TRUE (blockPlays (render(), 0));
}

TEST_F (RenderTest, NewDeviceRateReachesOnlyTheNextSource)
{
    add ("a.wav", 1.0);
    add ("b.wav", 1.0);
    render();
    processor->paused = false;
    render();

    processor->setRateAndBufferSizeDetails (2.0 * deviceRate, blockSize);
    render();
    EXPECT_EQ (readPosition (0), 2 * blockSize + lookAhead);   // still one file sample per output sample

    processor->selectTrack (1);
    render();
    EXPECT_FLOAT_EQ (processor->playlist[1]->source->outputSampleRate, 16000.0f);
    EXPECT_NEAR ((double) readPosition (1), blockSize / 2.0, 4.0);
}
