#include "VelorinTest.h"

// Adding files and folder trees, removing and clearing entries, all of it while another thread renders.

using PlaylistTest = ProcessorTest;

TEST_F (PlaylistTest, AddingFilesAndFolders)
{
    for (auto name : { "Song.WAV", "take.Bwf", "a.aif", "b.AIFF", "c.mp3", "d.flac", "e.ogg", "noextension", "wav" })
        processor->addFile (audio.getChildFile (name));   // the audio formats' names in any case; nothing else is checked
    note ("names", state());
    processor->clearPlaylist();
    for (auto name : { "c.wav", "a.wav", "10.wav", "2.wav", "zz/inner/deep.wav", "zz/Sub.aif", "b folder/x.wav", "notes.txt", ".hidden.wav",
                       ".hidden folder/y.wav", "sub/b.wav", "../elsewhere/c.wav" })
        audioFile ("tree/" + juce::String (name), 8000.0, 1, 0.01);
    const auto tree = audio.getChildFile ("tree");
    ASSERT_TRUE (tree.createSymbolicLink (tree.getChildFile ("sub/back"), true)   // a link back up the tree is not followed; each real folder once
                 && audio.getChildFile ("elsewhere").createSymbolicLink (tree.getChildFile ("sub/side"), true) && audio.getChildFile ("elsewhere").createSymbolicLink (tree.getChildFile ("zz/side"), true));
    for (auto folder : { tree, audio.getChildFile ("nowhere"), tree.getChildFile ("a.wav"), tree.getChildFile ("a.wav") })
        processor->addDirectory (folder);
    processor->folderScanLimitSeconds = -1.0;   // a listing that takes too long is cut short, and reported
    EXPECT_EQ (processor->addDirectory (tree).cutShort, juce::Array<juce::File> { tree });
    processor->addFile (tree.getChildFile ("a.wav"));   // twice: two entries
    for (auto* entry : processor->playlist)
        note (entry->file.getRelativePathFrom (tree), juce::String (entry->lengthSeconds));
    EXPECT_FALSE (processor->savePlaylist (home.getChildFile ("missing folder/list.xml")) || processor->savePlaylist (audio) || ! audio.isDirectory());
}

TEST_F (PlaylistTest, RemovingAndClearing)
{
    for (auto name : { "a.wav", "b.wav", "c.wav", "d.wav" })
        add (name);
    processor->removeEntry (-1);          // -1 while nothing is current: makes the first current
    note ("remove -1", state());
    processor->playlist[2]->cue = 0.5f, processor->selectTrack (1), processor->paused = false;
    render ("b playing");
    for (int index : { 0, 5, 0, -1 })   // before the current, outside, the current (the next from its cue once played)
        processor->removeEntry (index), render ("remove " + juce::String (index));
    processor->selectTrack (1), processor->removeEntry (1);   // the last, current: the index stays past the end until a file takes its place
    render ("remove the last, current");
    add ("e.wav"), render ("e added");
    processor->clearPlaylist(), note ("clear", state());   // the index stays for the next files
    render ("empty");                                       // an empty playlist stops playback
    add ("f.wav"), note ("f added", state());
    add ("g.wav"), note ("g added", state());
}

TEST_F (PlaylistTest, ChangesWhileAnotherThreadRenders)
{
    const juce::File files[] = { audioFile ("f0.wav", 8000.0, 1, 0.25), audioFile ("f1.aif", 11025.0, 2, 0.31) };   // one resampled
    processor->delay = 0.0f;
    processor->midiMap.setMessage (0, "90 3c 64");   // every 20th block goes to the next entry
    std::atomic<int> blocks { 0 };   // the message thread changes the playlist until all have been rendered
    std::thread audioThread ([&]
    {
        juce::AudioBuffer<float> buffer (2, 256);
        for (const juce::MidiBuffer next (juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100)); blocks < 1000; ++blocks, std::this_thread::yield())
            testkit::renderBlock (*processor, buffer, blocks % 20 == 0 ? juce::MidiBuffer (next) : juce::MidiBuffer());
    });
    juce::Random random (42);
    int maxIndexSeen = -1, faults = 0;
    for (int step = 0; (step < 20000 || blocks < 1000) && faults == 0; ++step)
    {
        const int size = processor->playlist.size();
        auto* entry = processor->playlist[random.nextInt (juce::jmax (1, size))];
        switch (random.nextInt (10))
        {
            case 0:  processor->addFile (files[random.nextInt (2)]); break;
            case 1:  processor->removeEntry (random.nextInt (size + 2) - 1); break;
            case 2:  if (random.nextInt (20) == 0) processor->clearPlaylist(); break;
            case 3:  processor->selectTrack (random.nextInt (size + 3) - 1); break;
            case 4:  processor->paused = random.nextInt (4) == 0; break;
            case 5:  processor->loopEnabled = ! processor->loopEnabled; break;
            default: if (entry != nullptr) processor->moveEntryTo (*entry, random.nextFloat() * 0.6f), entry->loopA = random.nextFloat() * 0.2f, entry->loopB = random.nextFloat() * 0.4f,
                                           faults += processor->getEntryPositionSeconds (*entry) < 0.0f ? 1 : 0;
        }
        maxIndexSeen = juce::jmax (maxIndexSeen, processor->getCurrentIndex());
        if (step % 500 == 0)
            std::this_thread::sleep_for (std::chrono::milliseconds (1));
        const juce::ScopedLock sl (processor->getCallbackLock());   // only the current entry holds a source
        for (int i = 0; i < processor->playlist.size(); ++i)
            faults += i != processor->currentIndex && processor->playlist[i]->source != nullptr ? 1 : 0;
    }
    audioThread.join();
    EXPECT_TRUE (faults == 0 && maxIndexSeen >= 0) << faults << " faults, highest index " << maxIndexSeen;
    processor->clearPlaylist(), processor->addFile (files[0]);   // whatever happened, an entry's points still reach the data root
    processor->playlist[0]->cue = 0.125f, processor->clearPlaylist(), processor->addFile (files[0]);
    EXPECT_EQ (processor->playlist[0]->cue, 0.125f);
}
