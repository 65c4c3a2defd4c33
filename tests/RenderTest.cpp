#include "VelorinTest.h"

// Block rendering, recorded block by block (what is heard, and the state after it). The resampler
// reads 3 samples ahead of what it outputs: a read position of 2803 follows a block of 2000-2799.

class RenderTest : public ProcessorTest
{
protected:
    void blocks (const juce::String& what, int from, int to)   { for (int block = from; block <= to; ++block) render (what + juce::String (block)); }
    void play (const juce::String& what, juce::MidiBuffer midi = {})   { processor->paused = false; render (what, midi); }
};

TEST_F (RenderTest, TransportVolumeEndOfFileAndGap)
{
    play ("empty playlist, playing");
    add ("a.wav"), add ("b.wav").cue = 0.25f, add ("mono.wav", 0.5, 1), render ("first block, paused");
    processor->playlist[0]->cue = 0.25f;
    for (auto volume : { 0.5f, 1.0f, 0.0f, 1.0f })
        processor->volume = volume, play ("volume " + juce::String (volume));
    processor->paused = true, render ("paused");
    processor->paused = false, blocks ("block ", 5, 32);   // a 1 s file, a 0.5 s gap, the next from its cue
    blocks ("last, block ", 0, 11);                        // the last entry restarts at its cue
}

TEST_F (RenderTest, LoopsAndABLoops)
{
    auto& entry = add ("a.wav", 2.0);
    add ("b.wav", 0.5), render ("first block");
    processor->paused = false, entry.loopA = 0.2f, entry.loopB = 0.5f, blocks ("loop off, block ", 1, 8);
    processor->loopEnabled = true, entry.loopA = 0.5f, render ("A equal to B");
    entry.loopA = 0.9f, render ("A after B");
    entry.loopA = 0.2f, processor->moveEntryTo (entry, 0.4f), render ("at B"), render ("past B");
    entry.loopB = 5.0f, processor->moveEntryTo (entry, 1.45f), blocks ("B past the end, block ", 1, 12);   // the end-of-file rule
    entry.loopB = 0.0f, entry.cue = 0.25f, processor->moveEntryTo (entry, 1.85f), blocks ("loop without A-B, block ", 1, 8);   // to the start, not the cue
}

TEST_F (RenderTest, SelectTrackRatesAndNothingToPlay)
{
    add ("a.wav"), add ("b.wav"), processor->addFile (audio.getChildFile ("broken.wav"));
    ASSERT_TRUE (audio.getChildFile ("broken.wav").replaceWithText ("not audio at all"));
    render ("first block"), play ("playing");
    for (int index : { 0, -1, 4, 1, 3, 2 })   // the current one, outside (pause only), another, the size (reloads the last)
        processor->selectTrack (index), note ("select " + juce::String (index), state()), play ("block");
    audioFile ("broken.wav");   // readable now; but a block without a rate, channels or samples plays nothing
    processor->setRateAndBufferSizeDetails (0.0, 800), render ("no sample rate");
    processor->setRateAndBufferSizeDetails (8000.0, 800);
    for (juce::AudioBuffer<float> nothing : { juce::AudioBuffer<float> (0, 800), juce::AudioBuffer<float> (2, 0) })
        testkit::renderBlock (*processor, nothing), note ("no channels or samples", state());
    render ("readable, but tried once a selection");
    processor->selectTrack (1), processor->selectTrack (2), render ("readable, selected again");
    processor->setRateAndBufferSizeDetails (16000.0, 800), render ("16 kHz device: the loaded file goes on as it was");
    processor->selectTrack (0), render ("the next file at the new rate");
    processor->clearPlaylist(), processor->currentIndex = -1, add ("fast.wav", 2.0, 2, 16000.0);
    processor->setRateAndBufferSizeDetails (8000.0, 800), render ("16 kHz file, 8 kHz device"), render ("16 kHz file, 8 kHz device");
    note ("position seconds", juce::String (processor->getEntryPositionSeconds (*processor->playlist[0])));
}

TEST_F (RenderTest, AnEntryThatCannotLoadIsPassedAfterTheGap)
{
    processor->addFile (audio.getChildFile ("gone.wav")), add ("a.wav");
    processor->paused = false, blocks ("block ", 1, 6);   // a 0.5 s gap, as after the end of a file
}

TEST_F (RenderTest, MidiActionsRunBeforeTheBlockInEventOrder)
{
    add ("a.wav"), add ("b.wav"), add ("c.wav"), add ("d.wav"), render ("first block");
    const juce::MidiMessage next = juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100), previous = juce::MidiMessage::controllerEvent (1, 22, 1),
                            start = juce::MidiMessage::controllerEvent (1, 20, 127), loop = juce::MidiMessage::controllerEvent (1, 21, 127);
    for (int action = 0; action < 4; ++action)
        processor->midiMap.setMessage (action, MidiMap::messageText (std::array { next, previous, start, loop }[(size_t) action]));
    const auto midiOf = [] (std::vector<juce::MidiMessage> messages) { juce::MidiBuffer midi; for (auto& m : messages) midi.addEvent (m, midi.getNumEvents()); return midi; };
    for (auto [what, messages] : { std::pair<const char*, std::vector<juce::MidiMessage>> ("next, next, play, loop", { next, next, start, loop }), { "nothing", {} },
                                   { "an unmatched message, previous", { juce::MidiMessage::noteOff (1, 60), previous } }, { "previous, previous", { previous, previous } } })
        processor->midiActivity = false, render (what, midiOf (messages));
    play ("previous on the first entry", midiOf ({ previous }));
}
