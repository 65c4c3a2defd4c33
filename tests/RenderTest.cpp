#include "VelorinTest.h"

// Block rendering, recorded block by block (what is heard, and the state after it): transport,
// volume, end of file and its gap, loops, selection, MIDI actions, and blocks with nothing to play.
// The resampler reads 3 samples ahead of what it outputs: a read position of 2803 follows a block
// of 2000-2799.

using RenderTest = ProcessorTest;

TEST_F (RenderTest, TransportVolumeEndOfFileAndGap)
{
    processor->paused = false;
    render ("empty playlist, playing");
    add ("a.wav", 1.0);
    add ("b.wav", 1.0).cue = 0.25f;
    add ("mono.wav", 0.5, 1);
    render ("first block, paused");
    processor->paused = false;
    processor->playlist[0]->cue = 0.25f;
    for (auto volume : { 0.5f, 1.0f, 0.0f, 1.0f })
        processor->volume = volume, render ("volume " + juce::String (volume));
    processor->paused = true;
    render ("paused");
    processor->paused = false;
    for (int block = 5; block <= 32; ++block)   // a 1 s file, a 0.5 s gap, the next from its cue
        render ("block " + juce::String (block));
    for (int block = 0; block < 12; ++block)    // the last entry restarts at its cue
        render ("last, block " + juce::String (block));
}

TEST_F (RenderTest, LoopsAndABLoops)
{
    auto& entry = add ("a.wav", 2.0);
    add ("b.wav", 0.5);
    render ("first block");
    processor->paused = false;
    entry.loopA = 0.2f;
    entry.loopB = 0.5f;
    for (int block = 1; block <= 8; ++block)
        render ("loop off, block " + juce::String (block));
    processor->loopEnabled = true;
    entry.loopA = 0.5f;
    render ("A equal to B");
    entry.loopA = 0.9f;
    render ("A after B");
    entry.loopA = 0.2f;
    processor->moveEntryTo (entry, 0.4f);
    render ("at B");
    render ("past B");
    entry.loopB = 5.0f;   // B past the end: the end-of-file rule
    processor->moveEntryTo (entry, 1.45f);
    for (int block = 1; block <= 12; ++block)
        render ("B past the end, block " + juce::String (block));
    entry.loopB = 0.0f;   // no A-B loop: back to the start, not the cue
    entry.cue = 0.25f;
    processor->moveEntryTo (entry, 1.85f);
    for (int block = 1; block <= 8; ++block)
        render ("loop without A-B, block " + juce::String (block));
}

TEST_F (RenderTest, SelectTrackRatesAndNothingToPlay)
{
    for (auto name : { "a.wav", "b.wav" })
        add (name);
    processor->addFile (audio.getChildFile ("broken.wav"));
    ASSERT_TRUE (audio.getChildFile ("broken.wav").replaceWithText ("not audio at all"));
    render ("first block");
    processor->paused = false;
    render ("playing");
    for (int index : { 0, -1, 4, 1, 3, 2 })   // the current one, outside (pause only), another, the size (reloads the last)
    {
        processor->selectTrack (index);
        note ("select " + juce::String (index), state());
        processor->paused = false;
        render ("block");
    }
    audioFile ("broken.wav");   // readable now; but a block without a rate, channels or samples plays nothing
    processor->setRateAndBufferSizeDetails (0.0, 800);
    render ("no sample rate");
    processor->setRateAndBufferSizeDetails (8000.0, 800);
    for (juce::AudioBuffer<float> nothing : { juce::AudioBuffer<float> (0, 800), juce::AudioBuffer<float> (2, 0) })
        testkit::renderBlock (*processor, nothing), note ("no channels or samples", state());
    render ("readable, but tried once a selection");
    processor->selectTrack (1);
    processor->selectTrack (2);
    render ("readable, selected again");
    processor->setRateAndBufferSizeDetails (16000.0, 800);
    render ("16 kHz device: the loaded file goes on as it was");
    processor->selectTrack (0);
    render ("the next file at the new rate");
    processor->clearPlaylist();
    processor->currentIndex = -1;
    add ("fast.wav", 2.0, 2, 16000.0);
    processor->setRateAndBufferSizeDetails (8000.0, 800);
    render ("16 kHz file, 8 kHz device");
    render ("16 kHz file, 8 kHz device");
    note ("position seconds", juce::String (processor->getEntryPositionSeconds (*processor->playlist[0])));
}

TEST_F (RenderTest, AnEntryThatCannotLoadIsPassedAfterTheGap)
{
    processor->addFile (audio.getChildFile ("gone.wav"));
    add ("a.wav");
    processor->paused = false;
    for (int block = 1; block <= 6; ++block)   // a 0.5 s gap, as after the end of a file
        render ("block " + juce::String (block));
}

TEST_F (RenderTest, MidiActionsRunBeforeTheBlockInEventOrder)
{
    for (auto name : { "a.wav", "b.wav", "c.wav", "d.wav" })
        add (name);
    render ("first block");
    const juce::MidiMessage next = juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100), previous = juce::MidiMessage::controllerEvent (1, 22, 1),
                            play = juce::MidiMessage::controllerEvent (1, 20, 127), loop = juce::MidiMessage::controllerEvent (1, 21, 127);
    for (int action = 0; action < 4; ++action)
        processor->midiMap.mappings[action].message = MidiMap::messageText (std::array { next, previous, play, loop }[(size_t) action]);

    juce::MidiBuffer midi;
    for (auto [what, messages] : { std::pair<const char*, std::vector<juce::MidiMessage>> ("next, next, play, loop", { next, next, play, loop }),
                                   { "nothing", {} }, { "an unmatched message, previous", { juce::MidiMessage::noteOff (1, 60), previous } },
                                   { "previous, previous", { previous, previous } } })
    {
        midi.clear();
        for (auto& m : messages)
            midi.addEvent (m, midi.getNumEvents());
        processor->midiActivity = false;
        render (what, midi);
    }
    processor->paused = false;
    midi.clear();
    midi.addEvent (previous, 0);
    render ("previous on the first entry", midi);
}
