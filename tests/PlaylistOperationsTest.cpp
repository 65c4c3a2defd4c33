#include "TestSupport.h"

// Adding files and folder trees, removing and clearing entries, and the playlist file.

class PlaylistOperationsTest : public TempHomeTest
{
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        processor = std::make_unique<ReplayProcessor>();
        processor->setRateAndBufferSizeDetails (8000.0, 800);
    }

    void TearDown() override
    {
        processor.reset();
        TempHomeTest::TearDown();
    }

    juce::File makeAudio (const juce::File& file, double seconds = 0.1)
    {
        file.getParentDirectory().createDirectory();
        testaudio::write (file, 8000.0, 1, (juce::int64) (seconds * 8000));
        return file;
    }

    /** The playlist's paths, relative to `root`. */
    juce::StringArray playlistPaths (const juce::File& root) const
    {
        juce::StringArray paths;

        for (auto* entry : processor->playlist)
            paths.add (entry->file.getRelativePathFrom (root));

        return paths;
    }

    void render()
    {
        juce::AudioBuffer<float> buffer (2, 800);
        testaudio::renderBlock (*processor, buffer);
    }

    std::unique_ptr<ReplayProcessor> processor;
};

TEST_F (PlaylistOperationsTest, AcceptsTheAudioFormatsNamesInAnyCase)
{
    const auto folder = audioFolder();

    for (auto name : { "Song.WAV", "take.Bwf", "a.aif", "b.AIFF", "c.mp3", "d.flac", "e.ogg", "noextension", "wav" })
        processor->addFile (folder.getChildFile (name));

    EXPECT_EQ (playlistPaths (folder), juce::StringArray ({ "Song.WAV", "take.Bwf", "a.aif", "b.AIFF" }));

    // Nothing else is checked: a file twice gives two entries, a missing file an empty one.
    const auto song = makeAudio (folder.getChildFile ("song.wav"));
    processor->addFile (song);
    processor->addFile (song);
    EXPECT_EQ (processor->playlist.size(), 6);
    EXPECT_EQ (processor->playlist[0]->lengthSeconds, 0.0f);
    EXPECT_FLOAT_EQ (processor->playlist[5]->lengthSeconds, 0.1f);
}

TEST_F (PlaylistOperationsTest, FolderTreeIsAddedDepthFirstWithFoldersBeforeFiles)
{
    const auto root = audioFolder().getChildFile ("tree");
    makeAudio (root.getChildFile ("c.wav"));
    makeAudio (root.getChildFile ("a.wav"));
    makeAudio (root.getChildFile ("10.wav"));
    makeAudio (root.getChildFile ("2.wav"));
    makeAudio (root.getChildFile ("zz/inner/deep.wav"));
    makeAudio (root.getChildFile ("zz/Sub.aif"));
    makeAudio (root.getChildFile ("b folder/x.wav"));
    makeAudio (root.getChildFile ("notes.txt"));
    makeAudio (root.getChildFile (".hidden.wav"));
    makeAudio (root.getChildFile (".hidden folder/y.wav"));

    processor->addDirectory (root);

    EXPECT_EQ (playlistPaths (root), juce::StringArray ({ "b folder/x.wav", "zz/inner/deep.wav", "zz/Sub.aif",
                                                           "2.wav", "10.wav", "a.wav", "c.wav" }));
}

TEST_F (PlaylistOperationsTest, MissingFolderOrPlainFileAddsNothing)
{
    processor->addDirectory (audioFolder().getChildFile ("nowhere"));
    processor->addDirectory (makeAudio (audioFolder().getChildFile ("file.wav")));
    EXPECT_EQ (processor->playlist.size(), 0);
}

TEST_F (PlaylistOperationsTest, LinkBackUpTheTreeIsNotFollowed)
{
    const auto root = audioFolder().getChildFile ("looped");
    makeAudio (root.getChildFile ("a.wav"));
    makeAudio (root.getChildFile ("sub/b.wav"));
    makeAudio (audioFolder().getChildFile ("elsewhere/c.wav"));
    ASSERT_TRUE (root.createSymbolicLink (root.getChildFile ("sub/back"), true));
    ASSERT_TRUE (audioFolder().getChildFile ("elsewhere").createSymbolicLink (root.getChildFile ("sub/side"), true));

    processor->addDirectory (root);

    // The link to a folder outside the tree is followed; the one back to the top is not.
    EXPECT_EQ (playlistPaths (root), juce::StringArray ({ "sub/side/c.wav", "sub/b.wav", "a.wav" }));
}

TEST_F (PlaylistOperationsTest, RemovingAnEntryBeforeTheCurrentKeepsItPlaying)
{
    for (auto name : { "a.wav", "b.wav", "c.wav" })
        processor->addFile (makeAudio (audioFolder().getChildFile (name), 1.0));

    processor->selectTrack (1);
    processor->paused = false;
    render();
    ASSERT_NE (processor->playlist[1]->source, nullptr);
    const auto* playing = processor->playlist[1];

    processor->removeEntry (0);
    EXPECT_EQ (processor->getCurrentIndex(), 0);
    EXPECT_EQ (processor->playlist[0], playing);
    EXPECT_NE (playing->source, nullptr);

    processor->removeEntry (5);   // outside: nothing
    EXPECT_EQ (processor->playlist.size(), 2);
    EXPECT_EQ (processor->getCurrentIndex(), 0);
}

TEST_F (PlaylistOperationsTest, RemovingTheCurrentEntryMakesTheNextCurrentFromItsCue)
{
    for (auto name : { "a.wav", "b.wav", "c.wav" })
        processor->addFile (makeAudio (audioFolder().getChildFile (name), 1.0));

    processor->playlist[2]->cue = 0.5f;
    processor->selectTrack (1);
    processor->paused = false;
    render();

    processor->removeEntry (1);
    EXPECT_EQ (processor->getCurrentIndex(), 1);
    EXPECT_TRUE (processor->playlist[1]->file.getFileName() == "c.wav");
    EXPECT_EQ (processor->playlist[1]->source, nullptr);

    render();
    ASSERT_NE (processor->playlist[1]->source, nullptr);
    EXPECT_NEAR (processor->getEntryPositionSeconds (*processor->playlist[1]), 0.6f, 0.001f);

    // The last entry, current: the index is left one past the end and nothing plays ...
    processor->removeEntry (1);
    EXPECT_EQ (processor->currentIndex, 1);
    EXPECT_EQ (processor->playlist.size(), 1);
    render();
    EXPECT_EQ (processor->playlist[0]->source, nullptr);

    // ... until a file added next takes that place.
    processor->addFile (makeAudio (audioFolder().getChildFile ("d.wav"), 1.0));
    render();
    EXPECT_NE (processor->playlist[1]->source, nullptr);
}

TEST_F (PlaylistOperationsTest, RemovingMinusOneWhileNothingIsCurrentSelectsTheFirst)
{
    processor->addFile (makeAudio (audioFolder().getChildFile ("a.wav")));
    processor->addFile (makeAudio (audioFolder().getChildFile ("b.wav")));
    ASSERT_EQ (processor->currentIndex, -1);

    processor->removeEntry (-1);
    EXPECT_EQ (processor->playlist.size(), 2);
    EXPECT_EQ (processor->getCurrentIndex(), 0);
}

TEST_F (PlaylistOperationsTest, ClearKeepsTheIndexForTheNextFiles)
{
    for (auto name : { "a.wav", "b.wav", "c.wav" })
        processor->addFile (makeAudio (audioFolder().getChildFile (name)));

    processor->selectTrack (1);
    processor->clearPlaylist();
    EXPECT_EQ (processor->getCurrentIndex(), -1);
    EXPECT_EQ (processor->currentIndex, 1);

    processor->paused = false;
    render();
    EXPECT_TRUE (processor->paused);   // an empty playlist stops playback

    processor->addFile (makeAudio (audioFolder().getChildFile ("d.wav")));
    EXPECT_EQ (processor->getCurrentIndex(), 1);   // past the end: nothing is current
    processor->addFile (makeAudio (audioFolder().getChildFile ("e.wav")));
    EXPECT_EQ (processor->getCurrentIndex(), 1);
    EXPECT_EQ (processor->playlist[1]->file.getFileName(), "e.wav");
}

TEST_F (PlaylistOperationsTest, SavedPlaylistHasItsExactFormat)
{
    const auto target = home.getChildFile ("list.xml");
    const juce::String declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n";

    EXPECT_TRUE (processor->savePlaylist (target));
    EXPECT_EQ (target.loadFileAsString(), declaration + "<playlist/>\r\n");

    const auto a = makeAudio (audioFolder().getChildFile ("a.wav"));
    const auto b = audioFolder().getChildFile (juce::CharPointer_UTF8 ("b & \xc3\xa9.aif"));
    processor->addFile (a);
    processor->addFile (b);
    processor->addFile (a);

    EXPECT_TRUE (processor->savePlaylist (target));
    EXPECT_EQ (target.loadFileAsString(),
               declaration + "<playlist>\r\n"
               + "  <file name=\"" + a.getFullPathName() + "\"/>\r\n"
               + "  <file name=\"" + b.getParentDirectory().getFullPathName()
               + "/b &amp; &#233;.aif\"/>\r\n"   // the writer escapes non-ASCII characters
               + "  <file name=\"" + a.getFullPathName() + "\"/>\r\n"
               + "</playlist>\r\n");
}

TEST_F (PlaylistOperationsTest, FailedWriteIsReported)
{
    processor->addFile (makeAudio (audioFolder().getChildFile ("a.wav")));
    EXPECT_FALSE (processor->savePlaylist (home.getChildFile ("missing folder/list.xml")));
    EXPECT_FALSE (processor->savePlaylist (audioFolder()));
    EXPECT_TRUE (audioFolder().isDirectory());
}
