#include "VelorinTest.h"

#include <thread>

// Adding files and folder trees, removing and clearing entries, saving, and all of it while
// another thread renders.

using PlaylistTest = ProcessorTest;

TEST_F (PlaylistTest, AcceptsTheAudioFormatsNamesInAnyCaseAndNothingElse)
{
    for (auto name : { "Song.WAV", "take.Bwf", "a.aif", "b.AIFF", "c.mp3", "d.flac", "e.ogg", "noextension", "wav" })
        processor->addFile (audio.getChildFile (name));
    juce::StringArray names;
    for (auto* entry : processor->playlist)
        names.add (entry->file.getFileName());
    EXPECT_EQ (names, juce::StringArray ({ "Song.WAV", "take.Bwf", "a.aif", "b.AIFF" }));

    // A file twice gives two entries, a missing file an empty one.
    const auto song = audioFile ("song.wav", 8000.0, 1, 0.1);
    processor->addFile (song);
    processor->addFile (song);
    EXPECT_EQ (processor->playlist.size(), 6);
    EXPECT_EQ (processor->playlist[0]->lengthSeconds, 0.0f);
    EXPECT_FLOAT_EQ (processor->playlist[5]->lengthSeconds, 0.1f);

    EXPECT_FALSE (processor->savePlaylist (home.getChildFile ("missing folder/list.xml")));
    EXPECT_FALSE (processor->savePlaylist (audio));
    EXPECT_TRUE (audio.isDirectory());
}

TEST_F (PlaylistTest, FolderTreesDepthFirstFoldersFirstInNaturalOrder)
{
    const auto root = audio.getChildFile ("tree");
    for (auto name : { "c.wav", "a.wav", "10.wav", "2.wav", "zz/inner/deep.wav", "zz/Sub.aif", "b folder/x.wav", "notes.txt",
                       ".hidden.wav", ".hidden folder/y.wav", "sub/b.wav" })
        audioFile ("tree/" + juce::String (name), 8000.0, 1, 0.01);
    audioFile ("elsewhere/c.wav", 8000.0, 1, 0.01);
    ASSERT_TRUE (root.createSymbolicLink (root.getChildFile ("sub/back"), true));                    // not followed
    ASSERT_TRUE (audio.getChildFile ("elsewhere").createSymbolicLink (root.getChildFile ("sub/side"), true));

    processor->addDirectory (root);
    processor->addDirectory (audio.getChildFile ("nowhere"));
    processor->addDirectory (root.getChildFile ("a.wav"));

    juce::StringArray paths;
    for (auto* entry : processor->playlist)
        paths.add (entry->file.getRelativePathFrom (root));
    EXPECT_EQ (paths, juce::StringArray ({ "b folder/x.wav", "sub/side/c.wav", "sub/b.wav", "zz/inner/deep.wav", "zz/Sub.aif",
                                           "2.wav", "10.wav", "a.wav", "c.wav" }));
}

TEST_F (PlaylistTest, RemoveEntryRules)
{
    for (auto name : { "a.wav", "b.wav", "c.wav", "d.wav" })
        add (name);
    processor->playlist[2]->cue = 0.5f;
    processor->selectTrack (1);
    processor->paused = false;
    render();
    const auto* playing = processor->playlist[1];

    processor->removeEntry (0);   // before the current: it keeps playing
    EXPECT_EQ (processor->getCurrentIndex(), 0);
    EXPECT_EQ (processor->playlist[0], playing);
    EXPECT_NE (playing->source, nullptr);
    processor->removeEntry (5);   // outside: nothing
    EXPECT_EQ (processor->playlist.size(), 3);

    processor->removeEntry (0);   // the current: the next is current, from its cue once played
    EXPECT_EQ (processor->getCurrentIndex(), 0);
    EXPECT_EQ (processor->playlist[0]->file.getFileName(), "c.wav");
    EXPECT_EQ (processor->playlist[0]->source, nullptr);
    render();
    EXPECT_NEAR (processor->getEntryPositionSeconds (*processor->playlist[0]), 0.6f, 0.001f);

    processor->selectTrack (1);
    processor->removeEntry (1);   // the last, current: the index stays one past the end, nothing plays ...
    EXPECT_EQ (processor->currentIndex, 1);
    render();
    EXPECT_EQ (processor->playlist[0]->source, nullptr);
    add ("e.wav");                // ... until a file added next takes that place
    render();
    EXPECT_NE (processor->playlist[1]->source, nullptr);

    ReplayProcessor fresh;
    fresh.addFile (audioFile ("f.wav"));
    fresh.addFile (audioFile ("g.wav"));
    fresh.removeEntry (-1);       // -1 while nothing is current: selects the first
    EXPECT_EQ (fresh.playlist.size(), 2);
    EXPECT_EQ (fresh.getCurrentIndex(), 0);
}

TEST_F (PlaylistTest, ClearKeepsTheIndexForTheNextFiles)
{
    for (auto name : { "a.wav", "b.wav", "c.wav" })
        add (name);
    processor->selectTrack (1);
    processor->clearPlaylist();
    EXPECT_EQ (processor->getCurrentIndex(), -1);
    EXPECT_EQ (processor->currentIndex, 1);
    processor->paused = false;
    render();
    EXPECT_TRUE (processor->paused);   // an empty playlist stops playback

    add ("d.wav");
    EXPECT_EQ (processor->getCurrentIndex(), 1);   // past the end: nothing is current
    add ("e.wav");
    EXPECT_EQ (processor->getCurrentIndex(), 1);
    EXPECT_EQ (processor->playlist[1]->file.getFileName(), "e.wav");
}

TEST_F (PlaylistTest, ChangesWhileAnotherThreadRenders)
{
    juce::Array<juce::File> files;
    for (int i = 0; i < 4; ++i)
        files.add (audioFile ("f" + juce::String (i) + (i % 2 == 0 ? ".wav" : ".aif"), i % 2 == 0 ? 8000.0 : 11025.0, 1 + i % 2, 0.25 + 0.06 * i));

    processor->delay = 0.0f;
    processor->midiMap.mappings[0].message = "90 3c 64";
    processor->midiMap.mappings[1].message = "90 3d 64";
    for (auto& f : files)
        processor->addFile (f);

    std::atomic<bool> stop { false };
    std::atomic<int> blocks { 0 };
    std::thread audioThread ([&]
    {
        juce::AudioBuffer<float> buffer (2, 256);
        juce::Random random (1);
        while (! stop)
        {
            juce::MidiBuffer midi;
            if (random.nextInt (20) == 0)
                midi.addEvent (juce::MidiMessage::noteOn (1, 60 + random.nextInt (2), (juce::uint8) 100), 0);
            testkit::renderBlock (*processor, buffer, midi);
            ++blocks;
            std::this_thread::yield();
        }
    });

    juce::Random random (42);
    int maxIndexSeen = -1;
    for (int step = 0; step < 20000; ++step)
    {
        const int size = processor->playlist.size();
        switch (random.nextInt (10))
        {
            case 0:  processor->addFile (files[random.nextInt (files.size())]); break;
            case 1:  processor->removeEntry (random.nextInt (size + 2) - 1); break;
            case 2:  if (random.nextInt (20) == 0) processor->clearPlaylist(); break;
            case 3:  processor->selectTrack (random.nextInt (size + 3) - 1); break;
            case 4:  processor->paused = random.nextInt (4) == 0; break;
            case 5:  processor->loopEnabled = ! processor->loopEnabled; break;
            default:
                if (auto* entry = processor->playlist[random.nextInt (juce::jmax (1, size))])
                {
                    processor->moveEntryTo (*entry, random.nextFloat() * 0.6f);
                    EXPECT_GE (processor->getEntryPositionSeconds (*entry), 0.0f);
                    entry->loopA = random.nextFloat() * 0.2f;
                    entry->loopB = random.nextFloat() * 0.4f;
                }
        }
        maxIndexSeen = juce::jmax (maxIndexSeen, processor->getCurrentIndex());

        const juce::ScopedLock sl (processor->getCallbackLock());   // only the current entry holds a source
        int loaded = 0;
        for (int i = 0; i < processor->playlist.size(); ++i)
            loaded += i != processor->currentIndex && processor->playlist[i]->source != nullptr ? 1 : 0;
        EXPECT_EQ (loaded, 0) << "step " << step;
        if (loaded != 0)
            break;
        if (step % 500 == 0)
            std::this_thread::sleep_for (std::chrono::milliseconds (1));
    }
    stop = true;
    audioThread.join();
    EXPECT_GT (blocks, 100);
    EXPECT_GE (maxIndexSeen, 0);

    // Whatever happened, an entry's points still reach the data root.
    processor->clearPlaylist();
    processor->addFile (files[0]);
    processor->playlist[0]->cue = 0.125f;
    processor->clearPlaylist();
    processor->addFile (files[0]);
    EXPECT_EQ (processor->playlist[0]->cue, 0.125f);
}
