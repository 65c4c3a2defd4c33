#include "VelorinTest.h"

using namespace juce;

// Adding folder trees, removing and clearing entries, and all of it while another thread renders.

using PlaylistTest = ProcessorTest;

TEST_F (PlaylistTest, AddsTheAudioFilesOfAFolderTreeDepthFirstInNaturalOrder)
{
    for (auto name :
         { "c.wav", "a.wav", "10.wav", "2.wav", "Song.WAV", "take.Bwf", "b.AIFF", "notes.txt", "d.flac", "noextension",
           "zz/inner/deep.wav", "zz/Sub.aif", "b Łódź/żółw.wav", ".hidden.wav", ".hidden folder/y.wav", "sub/b.wav" })
        audioFile ("tree/" + String::fromUTF8 (name));
    const auto tree = audio.getChildFile ("tree");
    const bool linked = tree.createSymbolicLink (tree.getChildFile ("sub/back"), true);
    ASSERT_TRUE (linked);
    processor->addDirectory (tree);             // each real folder once, however many links lead to it
    processor->folderScanLimitSeconds = -1.0;   // every listing takes too long: it is cut short, and reported
    const auto cutShort = processor->addDirectory (tree).cutShort;
    EXPECT_EQ (cutShort, Array<File> { tree });
    for (auto* entry : processor->playlist)
        note (entry->file.getRelativePathFrom (tree), String (entry->lengthSeconds));
}

TEST_F (PlaylistTest, RemovingLeavesTheCurrentEntryOrTheNextPlayingAndClearingLeavesTheIndex)
{
    for (auto name : { "a.wav", "b.wav", "c.wav", "d.wav" })
        add (name);
    processor->removeEntry (-1);   // -1 while nothing is current: makes the first current
    render ("remove -1");
    processor->playlist[2]->cue = 0.5f;
    processor->selectTrack (1);
    processor->paused = false;
    render ("b playing");
    for (int index : { 0, 5, 0, -1 })   // before the current, outside, the current (the next plays from its cue), -1
    {
        processor->removeEntry (index);
        render ("remove " + String (index));
    }
    processor->selectTrack (1);
    processor->removeEntry (1);   // the last, current: the index stays past the end until a file takes its place
    render ("remove the last, current");
    add ("e.wav");
    render ("e added");
    processor->clearPlaylist();
    render ("clear");   // the index stays for the next files (as for e above); an empty playlist stops playback
    add ("f.wav");
    render ("f added");
}

TEST_F (PlaylistTest, ChangesWhileAnotherThreadRendersLeaveASourceOnlyOnTheCurrentEntry)
{
    const auto file = audioFile ("short.wav", 8000.0, 1, 0.25);
    processor->delay = 0.0f;   // the audio thread goes to the next entry every third block
    std::atomic<bool> rendering { true };
    std::thread audioThread (
        [&]
        {
            for (int block = 0; block < 2000; ++block)
            {
                render();
                std::this_thread::yield();
            }
            rendering = false;
        });
    int faults = 0;
    for (int step = 0; rendering; ++step)
    {
        processor->addFile (file);
        processor->removeEntry (step % 7 - 1);
        processor->selectTrack (step % 5);
        processor->paused = false;
        if (step % 50 == 49)
            processor->clearPlaylist();
        const ScopedLock sl (processor->getCallbackLock());
        for (int i = 0; i < processor->playlist.size(); ++i)
            faults += i != processor->currentIndex && processor->playlist[i]->source != nullptr ? 1 : 0;
    }
    audioThread.join();
    EXPECT_EQ (faults, 0) << "checks that found a source on another entry than the current";
}
