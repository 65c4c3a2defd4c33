#include "VelorinTest.h"
#include "ui/ReplayProcessorEditor.h"

// The editor on a processor, driven through its handlers: layout, table, the refresh timer,
// the keys, and the playlist buttons' work once a chooser has answered.

class EditorTest : public ProcessorTest
{
protected:
    /** Adds files the way "+FILE" does, so the table knows its rows. */
    void addFiles (std::initializer_list<const char*> names)
    {
        for (auto name : names)
            editor->addFileChosen (audioFile (name, 8000.0, 1));
    }

    bool press (int key, int mods = 0)   { return editor->keyPressed (juce::KeyPress (key, juce::ModifierKeys (mods), 0), editor.get()); }

    juce::MouseEvent click (int clicks)
    {
        return { juce::Desktop::getInstance().getMainMouseSource(), {}, {}, 0, 0, 0, 0, 0, editor.get(), editor.get(), {}, {}, {}, clicks, false };
    }

    std::unique_ptr<ReplayProcessorEditor> editor = std::make_unique<ReplayProcessorEditor> (processor.get());
};

TEST_F (EditorTest, LayoutLookAndButtons)
{
    EXPECT_EQ (editor->getBounds(), juce::Rectangle<int> (0, 0, 800, 500));
    EXPECT_EQ (editor->playlist->getBounds(), juce::Rectangle<int> (4, 38, 792, 190));
    EXPECT_EQ (editor->waveform->getBounds(), juce::Rectangle<int> (8, 232, 784, 160));
    EXPECT_EQ (editor->effects.getBounds(), juce::Rectangle<int> (4, 416, 800, 80));
    auto& header = editor->playlist->getHeader();
    EXPECT_EQ (header.getColumnName (1) + header.getColumnName (2) + header.getColumnName (3), "filetitleartist");
    EXPECT_EQ (editor->playlist->getRowHeight(), 20);
    EXPECT_EQ (editor->playlist->getHeaderHeight(), 20);

    int i = 0;
    for (auto [button, text] : { std::pair<juce::TextButton*, const char*> (editor->addPathButton.get(), "+PATH"), { editor->addFileButton.get(), "+FILE" },
                                 { editor->deleteButton.get(), "DELETE" }, { editor->clearButton.get(), "CLEAR" },
                                 { editor->loadButton.get(), "LOAD" }, { editor->saveButton.get(), "SAVE" } })
    {
        EXPECT_EQ (button->getBounds(), juce::Rectangle<int> (4 + 64 * i++, 4, 60, 30));
        EXPECT_EQ (button->getButtonText(), text);
    }

    // Columns share the width but keep their minimums; widths the user dragged are set again.
    for (auto [w, h, file, title, artist] : { std::tuple (800, 500, 356, 213, 142), { 400, 300, 200, 100, 100 }, { 800, 500, 356, 213, 142 } })
    {
        editor->setSize (w, h);
        EXPECT_EQ (juce::Array<int> ({ header.getColumnWidth (1), header.getColumnWidth (2), header.getColumnWidth (3) }), juce::Array<int> ({ file, title, artist }));
        header.setColumnWidth (1, 250);
    }
    editor->setSize (400, 300);
    EXPECT_EQ (editor->playlist->getHeight(), 0);

    // Its look is the default while it lives; it paints the main background and the table's rows.
    EXPECT_EQ (&juce::LookAndFeel::getDefaultLookAndFeel(), &editor->lookAndFeel);
    const auto paint = [] (int w, int h, std::function<void (juce::Graphics&)> draw)
    {
        juce::Image image (juce::Image::ARGB, w, h, true);
        juce::Graphics g (image);
        draw (g);
        return image;
    };
    EXPECT_EQ (paint (800, 500, [&] (auto& g) { editor->paint (g); }).getPixelAt (500, 20), juce::Colour (0xff102030));
    addFiles ({ "a.wav" });
    for (auto [row, selected, fill] : { std::tuple (0, true, juce::Colour (0xff808080).brighter (0.4f)), { 5, false, juce::Colour() } })
    {
        const auto image = paint (100, 20, [&, row = row, selected = selected] (auto& g)
                                  { editor->paintRowBackground (g, row, 100, 20, selected); editor->paintCell (g, row, row == 0 ? 1 : 9, 100, 20, selected); });
        EXPECT_EQ (image.getPixelAt (50, 1), fill);                              // no entry, unknown column: only the line
        EXPECT_EQ (image.getPixelAt (99, 10), juce::Colour (0xff000000));       // the column line
    }
    editor.reset();
    EXPECT_FALSE (juce::LookAndFeel::getDefaultLookAndFeel().isColourSpecified (DravikLightLookAndFeel::mainBackgroundColourId));
}

TEST_F (EditorTest, ClickShowsTheEntryAtOnceAndTheTimerFollowsTheCurrentIndex)
{
    addFiles ({ "a.wav", "b.wav", "c.wav" });
    EXPECT_EQ (editor->getNumRows(), 3);
    editor->timerCallback();   // no block has run: index -1
    EXPECT_EQ (editor->effects.currentTrack, nullptr);

    editor->cellClicked (1, 1, click (1));
    EXPECT_EQ (processor->getCurrentIndex(), 1);
    EXPECT_EQ (editor->waveform->currentTrack, processor->playlist[1]);
    EXPECT_EQ (editor->effects.currentTrack, processor->playlist[1]);
    editor->timerCallback();
    EXPECT_EQ (editor->playlist->getSelectedRow(), 1);
    EXPECT_EQ (editor->lastShownIndex, 1);

    processor->selectTrack (2);   // the engine moves on by itself: the table follows
    editor->timerCallback();
    EXPECT_EQ (editor->playlist->getSelectedRow(), 2);
    EXPECT_EQ (editor->waveform->currentTrack, processor->playlist[2]);

    editor->buttonClicked (editor->deleteButton.get());   // DELETE of the current row empties the views
    EXPECT_EQ (processor->currentIndex, 2);
    editor->timerCallback();
    EXPECT_EQ (editor->waveform->currentTrack, nullptr);
    EXPECT_EQ (editor->effects.currentTrack, nullptr);

    editor->buttonClicked (editor->clearButton.get());    // past the end after CLEAR: nothing shown or selected
    editor->timerCallback();
    EXPECT_EQ (editor->lastShownIndex, -1);
    addFiles ({ "d.wav" });
    editor->timerCallback();
    EXPECT_EQ (editor->lastShownIndex, 2);
    EXPECT_EQ (editor->playlist->getNumSelectedRows(), 0);
    EXPECT_EQ (editor->waveform->currentTrack, nullptr);
    EXPECT_EQ (editor->effects.currentTrack, nullptr);

    editor->cellDoubleClicked (0, 2, click (2));
    EXPECT_EQ (processor->getCurrentIndex(), 0);
    EXPECT_EQ (editor->waveform->currentTrack, nullptr);   // the views follow at the next tick
    editor->timerCallback();
    EXPECT_EQ (editor->waveform->currentTrack, processor->playlist[0]);
}

TEST_F (EditorTest, DeleteAndClearEmptyTheViewsFirst)
{
    addFiles ({ "a.wav", "b.wav" });
    editor->setCurrentTrack (1);
    editor->buttonClicked (editor->deleteButton.get());   // no row selected: removes nothing
    EXPECT_EQ (processor->playlist.size(), 2);
    EXPECT_EQ (processor->getCurrentIndex(), 0);
    EXPECT_EQ (editor->waveform->currentTrack, nullptr);
    EXPECT_EQ (editor->effects.currentTrack, nullptr);

    editor->playlist->selectRow (1);
    editor->setCurrentTrack (1);
    editor->buttonClicked (editor->deleteButton.get());
    EXPECT_EQ (processor->playlist.size(), 1);
    EXPECT_EQ (editor->waveform->currentTrack, nullptr);
    editor->setCurrentTrack (0);
    editor->buttonClicked (editor->clearButton.get());
    EXPECT_EQ (processor->playlist.size(), 0);
    EXPECT_EQ (editor->effects.currentTrack, nullptr);
}

TEST_F (EditorTest, KeysCompareOnlyTheKeyCodeAndAreAllConsumed)
{
    for (int mods : { 0, juce::ModifierKeys::shiftModifier | juce::ModifierKeys::ctrlModifier | juce::ModifierKeys::altModifier })
    {
        const bool paused = processor->paused, loop = processor->loopEnabled;
        EXPECT_TRUE (press (juce::KeyPress::spaceKey, mods));
        EXPECT_EQ (processor->paused, ! paused);
        EXPECT_TRUE (press (juce::KeyPress::F9Key, mods));
        EXPECT_EQ (processor->loopEnabled, ! loop);
    }
    EXPECT_TRUE (press (juce::KeyPress::F10Key));   // empty playlist: nothing, still consumed
    const bool paused = processor->paused;
    EXPECT_TRUE (press ('a') && press (juce::KeyPress::returnKey));
    EXPECT_EQ (processor->paused, paused);

    addFiles ({ "a.wav", "b.wav" });   // F10 moves the selected row's entry (else entry 0) to its cue
    processor->playlist[0]->cue = 0.25f;
    processor->playlist[0]->position = 0.75f;
    processor->playlist[1]->cue = 0.5f;
    EXPECT_TRUE (press (juce::KeyPress::F10Key, juce::ModifierKeys::shiftModifier));
    EXPECT_EQ (processor->playlist[0]->position, 0.25f);
    editor->playlist->selectRow (1);
    press (juce::KeyPress::F10Key);
    EXPECT_EQ (processor->playlist[1]->position, 0.5f);
}

TEST_F (EditorTest, ChosenFilesFoldersAndTheFoldersRemembered)
{
    const auto flac = audio.getChildFile ("other/song.flac");
    flac.create();
    editor->addFileChosen (flac);   // rejected, but its folder is remembered
    EXPECT_EQ (processor->playlist.size(), 0);
    EXPECT_EQ (editor->config.getValue ("LastUsedFile"), flac.getParentDirectory().getFullPathName());
    addFiles ({ "one.wav" });
    audioFile ("two.aif");
    editor->addPathChosen (audio);
    EXPECT_EQ (processor->playlist.size(), 3);
    EXPECT_EQ (editor->getNumRows(), 3);
    EXPECT_EQ (editor->config.getValue ("LastUsedPath"), audio.getFullPathName());

    // Choosers start in the stored folder, else the music folder, else home.
    EXPECT_EQ (editor->startFolderFor ("LastUsedPath"), audio);
    editor->config.setValue ("LastUsedPath", home.getChildFile ("deleted").getFullPathName());
    const auto music = juce::File::getSpecialLocation (juce::File::userMusicDirectory);
    EXPECT_EQ (editor->startFolderFor ("LastUsedPath"), music.exists() ? music : home);
    EXPECT_EQ (editor->startFolderFor ("NeverSet"), music.exists() ? music : home);

    editor->config.setValue ("LastUsedPath", audio.getFullPathName());
    editor.reset();                 // the settings are written when the editor goes
    EXPECT_EQ (ConfigFile ("Velorin").getValue ("LastUsedPath"), audio.getFullPathName());
}

TEST_F (EditorTest, SaveAddsXmlAndAsksBeforeOverwriting)
{
    addFiles ({ "a.wav" });
    int questions = 0;
    bool answer = false;
    editor->askToOverwrite = [&] (std::function<void (bool)> reply) { ++questions; reply (answer); };
    const auto lists = home.getChildFile ("lists");
    ASSERT_TRUE (lists.createDirectory());

    for (auto [chosen, written] : { std::pair ("list", "list.xml"), { "list.txt", "list.txt.xml" }, { "LIST.XML", "LIST.XML" } })
    {
        editor->saveChosen (lists.getChildFile (chosen));
        EXPECT_TRUE (lists.getChildFile (written).existsAsFile()) << chosen;
    }
    EXPECT_FALSE (lists.getChildFile ("LIST.XML.xml").exists());
    EXPECT_EQ (questions, 0);
    EXPECT_EQ (editor->config.getValue ("LastUsedPlaylist"), lists.getFullPathName());

    ASSERT_TRUE (lists.getChildFile ("list.xml").replaceWithText ("old"));
    editor->saveChosen (lists.getChildFile ("list"));   // Cancel: nothing written
    EXPECT_EQ (questions, 1);
    EXPECT_EQ (lists.getChildFile ("list.xml").loadFileAsString(), "old");
    answer = true;
    editor->saveChosen (lists.getChildFile ("list"));
    EXPECT_EQ (questions, 2);
    EXPECT_TRUE (lists.getChildFile ("list.xml").loadFileAsString().contains ("<playlist>"));
}

TEST_F (EditorTest, LoadBringsBackASavedPlaylistAndIgnoresDamage)
{
    addFiles ({ "a.wav", "b.wav" });
    processor->playlist[1]->cue = 0.5f;
    const auto list = home.getChildFile ("list.xml");
    ASSERT_TRUE (processor->savePlaylist (list));
    editor->buttonClicked (editor->clearButton.get());

    editor->loadChosen (list);
    ASSERT_EQ (processor->playlist.size(), 2);
    EXPECT_EQ (processor->playlist[1]->file.getFileName(), "b.wav");
    EXPECT_EQ (processor->playlist[1]->cue, 0.5f);
    EXPECT_EQ (editor->getNumRows(), 2);
    EXPECT_EQ (editor->config.getValue ("LastUsedPlaylist"), home.getFullPathName());

    const auto damaged = home.getChildFile ("damaged.xml");
    for (auto text : { "not xml at all <<", "<other><file name=\"/x/a.wav\"/></other>", "",
                       "<playlist><file/><file name=\"\"/><file name=\"relative/a.wav\"/><item name=\"/x/b.wav\"/><file name=\"/nowhere/c.wav\"/></playlist>" })
    {
        ASSERT_TRUE (damaged.replaceWithText (text));
        editor->loadPlaylist (damaged);
    }
    editor->loadPlaylist (home.getChildFile ("missing.xml"));
    EXPECT_EQ (processor->playlist.size(), 3);   // only the absolute name was added
    EXPECT_EQ (processor->playlist[2]->getFilePath(), "/nowhere/c.wav");
}
