#include "VelorinTest.h"

// Block rendering: transport, end of file, loops, selection, MIDI actions and volume.

namespace
{
    constexpr int lookAhead = 3;   // the resampler reads this far ahead of what it outputs

    juce::MidiBuffer midiOf (std::initializer_list<juce::MidiMessage> messages)
    {
        juce::MidiBuffer buffer;
        int time = 0;
        for (const auto& m : messages)
            buffer.addEvent (m, time++);
        return buffer;
    }

    /** The block, from sample `skip` on, is `gain` times the file's ramp from `start` (after a
        jump the resampler first plays out the few samples it had read ahead). */
    ::testing::AssertionResult plays (const juce::AudioBuffer<float>& block, juce::int64 start, float gain = 1.0f, int skip = 0, bool mono = false)
    {
        for (int c = 0; c < 2; ++c)
            for (int i = skip; i < block.getNumSamples(); ++i)
                if (const auto expected = gain * testkit::rampValue (mono ? 0 : c, start + i - skip); block.getSample (c, i) != expected)
                    return ::testing::AssertionFailure() << "channel " << c << " sample " << i << " is " << block.getSample (c, i) << ", not " << expected;
        return ::testing::AssertionSuccess();
    }

    bool silent (const juce::AudioBuffer<float>& block)   { return block.getMagnitude (0, block.getNumSamples()) == 0.0f; }
}

class RenderTest : public ProcessorTest
{
protected:
    juce::int64 readPosition (int index) const
    {
        auto* source = processor->playlist[index]->source.get();
        return source != nullptr ? source->getNextReadPosition() : -1;
    }

    /** The first block makes entry 0 current; then play. */
    void start (bool loop = false)
    {
        EXPECT_TRUE (silent (render()));
        EXPECT_EQ (processor->getCurrentIndex(), 0);
        EXPECT_EQ (processor->playlist[0]->source, nullptr);   // loaded only when playing
        processor->paused = false;
        processor->loopEnabled = loop;
    }
};

TEST_F (RenderTest, EmptyPlaylistPausesAndRendersSilence)
{
    processor->paused = false;
    juce::AudioBuffer<float> buffer (2, 800);
    buffer.clear();
    buffer.setSample (0, 10, 0.25f);
    testkit::renderBlock (*processor, buffer);
    EXPECT_TRUE (processor->paused);
    EXPECT_TRUE (silent (buffer));
    EXPECT_EQ (processor->getCurrentIndex(), -1);
}

TEST_F (RenderTest, PlaysTheFileTimesTheVolumeAndKeepsThePositionWhilePaused)
{
    add ("a.wav", 2.0).cue = 0.25f;
    start();
    processor->volume = 0.5f;
    EXPECT_TRUE (plays (render(), 2000, 0.5f));
    EXPECT_EQ (readPosition (0), 2000 + 800 + lookAhead);
    EXPECT_TRUE (plays (render(), 2800, 0.5f));
    processor->volume = 0.0f;
    EXPECT_TRUE (silent (render()));
    processor->volume = 1.0f;
    processor->paused = true;
    EXPECT_TRUE (silent (render()));
    EXPECT_EQ (readPosition (0), 2000 + 3 * 800 + lookAhead);   // the source is kept while paused
    processor->paused = false;
    EXPECT_TRUE (plays (render(), 2000 + 3 * 800));
}

TEST_F (RenderTest, MonoPlaysOnBothChannelsAndOtherRatesAreResampled)
{
    add ("mono.wav", 1.0, 1);
    start();
    EXPECT_TRUE (plays (render(), 0, 1.0f, 0, true));

    processor->clearPlaylist();
    processor->paused = true;
    add ("fast.wav", 2.0, 2, 16000.0);
    start();
    render();
    EXPECT_NEAR ((double) readPosition (0), 2.0 * 800, 8.0);   // two file samples a device sample
    EXPECT_FLOAT_EQ (processor->playlist[0]->source->fileSampleRate, 16000.0f);
    EXPECT_NEAR (processor->getEntryPositionSeconds (*processor->playlist[0]), 0.1f, 0.001f);
}

TEST_F (RenderTest, EndOfFileWaitsForTheGapThenAdvancesToTheNextCue)
{
    add ("a.wav");
    add ("b.wav").cue = 0.25f;
    start();

    // The read position after block k is k * 800 + 3: the file ends at 8000 and the gap of
    // 0.5 s at 12000, in the 15th block.
    int blocks = 0;
    while (processor->getCurrentIndex() == 0 && blocks < 100)
    {
        const auto out = render();
        EXPECT_TRUE (++blocks <= 11 || silent (out)) << "block " << blocks;   // the gap after the end
    }
    EXPECT_EQ (blocks, 15);
    EXPECT_EQ (processor->getCurrentIndex(), 1);
    EXPECT_EQ (processor->playlist[0]->source, nullptr);
    EXPECT_TRUE (plays (render(), 2000));

    // The last entry restarts at its cue, unloaded at its end and still current.
    for (int i = 0; i < 30 && processor->playlist[1]->source != nullptr; ++i)
        render();
    EXPECT_EQ (processor->playlist[1]->source, nullptr);
    EXPECT_EQ (processor->getCurrentIndex(), 1);
    EXPECT_FALSE (processor->paused);
    EXPECT_TRUE (plays (render(), 2000));
}

TEST_F (RenderTest, LoopWithoutABRestartsAtTheStartNotTheCue)
{
    add ("a.wav", 0.5).cue = 0.25f;
    add ("b.wav", 0.5);
    start (true);
    render();   // loads at 2000
    int blocks = 1;
    while (readPosition (0) > 800 + lookAhead && blocks < 50)
        render(), ++blocks;

    // From 2803 the position passes 4000 + 4000 (end plus gap) after 7 more blocks.
    EXPECT_EQ (blocks, 8);
    EXPECT_EQ (readPosition (0), 0);
    EXPECT_EQ (processor->getCurrentIndex(), 0);
    EXPECT_TRUE (plays (render(), 0, 1.0f, lookAhead));
}

TEST_F (RenderTest, ABLoop)
{
    auto& entry = add ("a.wav", 2.0);
    entry.loopA = 0.2f;
    entry.loopB = 0.5f;
    start();
    for (int i = 0; i < 8; ++i)
        render();
    EXPECT_EQ (readPosition (0), 8 * 800 + lookAhead);   // loop off: plays on

    processor->loopEnabled = true;
    entry.loopA = 0.5f;                                   // A == B: ignored
    render();
    EXPECT_EQ (readPosition (0), 9 * 800 + lookAhead);
    entry.loopA = 0.9f;                                   // A after B: ignored
    render();
    EXPECT_EQ (readPosition (0), 10 * 800 + lookAhead);

    entry.loopA = 0.2f;
    processor->moveEntryTo (entry, 0.4f);
    render();
    EXPECT_EQ (readPosition (0), 4000);                   // exactly at B: no jump
    render();                                             // past B: back to A
    EXPECT_EQ (readPosition (0), 1600);
    EXPECT_NEAR (processor->getEntryPositionSeconds (entry), 0.2f, 1.0e-6f);

    // B beyond the end: the end-of-file rule, back to the start.
    entry.loopB = 5.0f;
    processor->moveEntryTo (entry, 1.45f);
    for (int i = 0; i < 11; ++i)
        render();
    EXPECT_EQ (readPosition (0), 0);
}

TEST_F (RenderTest, SelectTrackRules)
{
    add ("a.wav");
    add ("b.wav");
    start();
    render();
    const auto position = readPosition (0);

    processor->selectTrack (0);   // the current index: nothing
    EXPECT_EQ (readPosition (0), position);
    for (int outside : { -1, 3 })   // outside: pause only
    {
        processor->paused = false;
        processor->selectTrack (outside);
        EXPECT_TRUE (processor->paused);
        EXPECT_EQ (processor->getCurrentIndex(), 0);
        EXPECT_EQ (readPosition (0), position);
    }

    processor->paused = false;
    processor->selectTrack (1);
    EXPECT_EQ (processor->playlist[0]->source, nullptr);
    render();
    EXPECT_NE (processor->playlist[1]->source, nullptr);
    processor->selectTrack (2);   // the size: reloads the last entry
    EXPECT_EQ (processor->getCurrentIndex(), 1);
    EXPECT_EQ (processor->playlist[1]->source, nullptr);
    EXPECT_FALSE (processor->paused);

    // A new device rate reaches only the next source.
    render();
    render();
    processor->setRateAndBufferSizeDetails (16000.0, 800);
    render();
    EXPECT_EQ (readPosition (1), 3 * 800 + lookAhead);
    processor->selectTrack (0);
    render();
    EXPECT_FLOAT_EQ (processor->playlist[0]->source->outputSampleRate, 16000.0f);
    EXPECT_NEAR ((double) readPosition (0), 400.0, 4.0);
}

TEST_F (RenderTest, MidiActionsRunBeforeTheBlockInEventOrder)
{
    for (auto name : { "a.wav", "b.wav", "c.wav", "d.wav" })
        add (name);
    render();
    const auto next = juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100), previous = juce::MidiMessage::controllerEvent (1, 22, 1),
               play = juce::MidiMessage::controllerEvent (1, 20, 127), loop = juce::MidiMessage::controllerEvent (1, 21, 127);
    int action = 0;
    for (auto* m : { &next, &previous, &play, &loop })
        processor->midiMap.mappings[action++].message = MidiMap::messageText (*m);

    render (midiOf ({ next, next, play, loop }));
    EXPECT_EQ (processor->getCurrentIndex(), 2);   // two "next" advance two entries
    EXPECT_FALSE (processor->paused);
    EXPECT_TRUE (processor->loopEnabled);
    EXPECT_TRUE (processor->midiActivity);
    EXPECT_NE (processor->playlist[2]->source, nullptr);   // and the block already plays it

    processor->midiActivity = false;
    render (midiOf ({ juce::MidiMessage::noteOff (1, 60), previous }));
    EXPECT_TRUE (processor->midiActivity);          // unmatched messages flash the light too
    EXPECT_EQ (processor->getCurrentIndex(), 1);
    processor->midiActivity = false;
    render();
    EXPECT_FALSE (processor->midiActivity);

    processor->selectTrack (0);
    processor->paused = false;
    render (midiOf ({ previous }));                 // on the first entry: pauses
    EXPECT_TRUE (processor->paused);
    EXPECT_EQ (processor->getCurrentIndex(), 0);
}

TEST_F (RenderTest, NothingToRenderIsSilentAndRetried)
{
    const auto broken = audio.getChildFile ("broken.wav");
    ASSERT_TRUE (broken.replaceWithText ("not audio at all"));
    processor->addFile (broken);
    start();
    EXPECT_TRUE (silent (render()));
    EXPECT_EQ (processor->playlist[0]->source, nullptr);
    audioFile ("broken.wav");   // the file becomes readable

    processor->setRateAndBufferSizeDetails (0.0, 800);
    EXPECT_TRUE (silent (render()));
    EXPECT_EQ (processor->playlist[0]->source, nullptr);
    processor->setRateAndBufferSizeDetails (8000.0, 800);
    juce::AudioBuffer<float> noChannels (0, 800), empty (2, 0);
    testkit::renderBlock (*processor, noChannels);
    EXPECT_EQ (processor->playlist[0]->source, nullptr);
    testkit::renderBlock (*processor, empty);
    EXPECT_TRUE (plays (render(), 0));
}
