#include "VelorinTest.h"

using namespace juce;

// What is heard, block by block: each block's ramp samples as runs of file positions, and the state after it.
// The resampler reads 3 samples ahead of what it plays: a read position of 2803 follows a block of 2000-2799.

class RenderTest : public ProcessorTest
{
protected:
    /** Unpauses and renders `count` blocks, each noted as "<what>" or "<what>, block <n>". */
    void play (const String& what, int count = 1)
    {
        processor->paused = false;

        for (int block = 1; block <= count; ++block)
            render (count == 1 ? what : what + ", block " + String (block));
    }
};

TEST_F (RenderTest, TransportVolumeEndOfFileAndGap)
{
    play ("empty playlist");
    add ("a.wav").cue = 0.25f;
    add ("b.wav", 0.5).cue = 0.25f;
    add ("mono.wav", 0.5, 1).cue = 0.125f;
    render ("paused");

    for (auto volume : { 0.5f, 0.0f, 1.0f })
    {
        processor->volume = volume;
        play ("volume " + String (volume));
    }

    processor->paused = true;
    render ("paused again");
    play ("a to its end, then a 0.5 s gap", 10);
    play ("b from its cue", 8);
    play ("the last from its cue, and again", 11);   // as if selected again
}

TEST_F (RenderTest, LoopsAndABLoops)
{
    auto& entry = add ("a.wav", 2.0);
    add ("b.wav", 0.5);
    entry.loopA = 0.2f;
    entry.loopB = 0.5f;
    play ("loop off", 8);

    processor->loopEnabled = true;
    entry.loopA = 0.5f;
    play ("A equal to B");
    entry.loopA = 0.9f;
    play ("A after B");

    entry.loopA = 0.2f;
    processor->moveEntryTo (entry, 0.4f);
    play ("at B, past B", 2);

    entry.loopB = 5.0f;
    processor->moveEntryTo (entry, 1.45f);
    play ("B past the end", 12);   // the end-of-file rule: the gap, then the start

    entry.loopB = 0.0f;
    entry.cue = 0.25f;
    processor->moveEntryTo (entry, 1.85f);
    play ("loop without A-B", 8);   // to the start, not the cue
}

TEST_F (RenderTest, SelectTrackAndAnotherRate)
{
    add ("a.wav");
    add ("b.wav");
    add ("c.wav");
    play ("playing");

    for (int index : { 0, -1, 4, 1, 3, 2 })   // the current one, outside (pause only), another, the size (the last)
    {
        processor->selectTrack (index);
        note ("select " + String (index), state());
        play ("block");
    }

    processor->setRateAndBufferSizeDetails (16000.0, 800);
    play ("16 kHz device: the loaded file goes on as it was");
    processor->selectTrack (0);
    play ("the next one at the new rate", 2);
}

TEST_F (RenderTest, AnEntryThatCannotLoadIsTriedOnceAndPassedAfterTheGap)
{
    processor->addFile (audio.getChildFile ("gone.wav"));
    add ("a.wav");
    play ("gone.wav current", 2);
    audioFile ("gone.wav");
    play ("gone.wav there now, in the gap", 4);   // 0.5 s, as after the end of a file
    processor->selectTrack (0);
    play ("gone.wav selected again");
}

TEST_F (RenderTest, MidiActionsRunBeforeTheBlockInEventOrder)
{
    for (auto name : { "a.wav", "b.wav", "c.wav", "d.wav" })   // two "next" from the first: the third, not the last
        add (name);

    // Learned for next, previous, play and loop; the last for none.
    const MidiMessage messages[] = { MidiMessage::noteOn (1, 60, (uint8) 100), MidiMessage::controllerEvent (1, 22, 1),
                                     MidiMessage::controllerEvent (1, 20, 127),
                                     MidiMessage::controllerEvent (1, 21, 127), MidiMessage::noteOff (1, 60) };

    for (int action = 0; action < 4; ++action)
        processor->midiMap.setMessage (action, MidiMap::messageText (messages[action]));

    const auto block = [&] (const String& what, std::initializer_list<int> sent)
    {
        MidiBuffer midi;

        for (int message : sent)
            midi.addEvent (messages[message], midi.getNumEvents());

        processor->midiActivity = false;
        render (what, midi);
    };

    render ("paused");
    block ("next, next, play, loop", { 0, 0, 2, 3 });
    block ("nothing", {});
    block ("an unlearned message, previous", { 4, 1 });
    block ("previous, previous", { 1, 1 });
}
