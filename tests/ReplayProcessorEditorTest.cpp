#include "TestSupport.h"
#include "ui/ReplayProcessorEditor.h"

// The editor built on a processor, driven by calling its handlers: layout, table, the
// refresh timer, the keys and the playlist buttons' work after a choice.

class EditorTest : public TempHomeTest
{
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        processor = std::make_unique<ReplayProcessor>();
        processor->setRateAndBufferSizeDetails (8000.0, 800);
        editor = std::make_unique<ReplayProcessorEditor> (processor.get());
    }

    void TearDown() override
    {
        editor.reset();
        processor.reset();
        TempHomeTest::TearDown();
    }

    juce::File makeAudio (const juce::String& name)
    {
        const auto file = audioFolder().getChildFile (name);
        testaudio::write (file, 8000.0, 1, 8000, 16);
        return file;
    }

    /** Adds files the way "+FILE" does, so the table knows its rows. */
    void addFiles (std::initializer_list<const char*> names)
    {
        for (auto name : names)
            editor->addFileChosen (makeAudio (name));
    }

    bool press (int keyCode, juce::ModifierKeys mods = {})
    {
        return editor->keyPressed (juce::KeyPress (keyCode, mods, 0), editor.get());
    }

    std::unique_ptr<ReplayProcessor> processor;
    std::unique_ptr<ReplayProcessorEditor> editor;
};

TEST_F (EditorTest, LayoutAtItsInitialSize)
{
    EXPECT_EQ (editor->getBounds(), juce::Rectangle<int> (0, 0, 800, 500));
    EXPECT_EQ (editor->playlist->getBounds(), juce::Rectangle<int> (4, 38, 792, 190));
    EXPECT_EQ (editor->waveform->getBounds(), juce::Rectangle<int> (8, 232, 784, 160));
    EXPECT_EQ (editor->effects.getBounds(), juce::Rectangle<int> (4, 416, 800, 80));

    auto& header = editor->playlist->getHeader();
    EXPECT_EQ (header.getColumnWidth (1), 356);
    EXPECT_EQ (header.getColumnWidth (2), 213);
    EXPECT_EQ (header.getColumnWidth (3), 142);
    EXPECT_EQ (header.getColumnName (1), "file");
    EXPECT_EQ (header.getColumnName (3), "artist");
    EXPECT_EQ (editor->playlist->getRowHeight(), 20);
    EXPECT_EQ (editor->playlist->getHeaderHeight(), 20);

    const std::pair<juce::TextButton*, const char*> buttons[] = {
        { editor->addPathButton.get(), "+PATH" }, { editor->addFileButton.get(), "+FILE" },
        { editor->deleteButton.get(), "DELETE" }, { editor->clearButton.get(), "CLEAR" },
        { editor->loadButton.get(), "LOAD" },     { editor->saveButton.get(), "SAVE" } };

    for (int i = 0; i < 6; ++i)
    {
        EXPECT_EQ (buttons[i].first->getBounds(), juce::Rectangle<int> (4 + 64 * i, 4, 60, 30));
        EXPECT_EQ (buttons[i].first->getButtonText(), buttons[i].second);
    }

    EXPECT_EQ (editor->addPathButton->getTooltip(), "Add all supported files recursively from a direcroty.");
    EXPECT_EQ (editor->loadButton->getTooltip(), "Load playlist.");

    // Narrow and short: columns keep their minimums, the table no height.
    editor->setSize (400, 300);
    EXPECT_EQ (header.getColumnWidth (1), 200);
    EXPECT_EQ (header.getColumnWidth (2), 100);
    EXPECT_EQ (header.getColumnWidth (3), 100);
    EXPECT_EQ (editor->playlist->getHeight(), 0);

    // Widths the user dragged are set again at the next resize.
    header.setColumnWidth (1, 250);
    editor->setSize (800, 500);
    EXPECT_EQ (header.getColumnWidth (1), 356);
}

TEST_F (EditorTest, PaintsTheMainBackgroundAndIsTheDefaultLookWhileItLives)
{
    EXPECT_EQ (&juce::LookAndFeel::getDefaultLookAndFeel(), &editor->lookAndFeel);

    juce::Image image (juce::Image::ARGB, 800, 500, true);
    {
        juce::Graphics g (image);
        editor->paint (g);
    }
    EXPECT_EQ (image.getPixelAt (500, 20), juce::Colour (0xff102030));

    editor.reset();
    EXPECT_FALSE (juce::LookAndFeel::getDefaultLookAndFeel().isColourSpecified (DravikLightLookAndFeel::mainBackgroundColourId));
}

TEST_F (EditorTest, TableShowsTheEntriesAndTheSelectedRow)
{
    addFiles ({ "a.wav", "b.wav" });
    testaudio::setTags (processor->playlist[1]->file, "x", "y");
    EXPECT_EQ (editor->getNumRows(), 2);

    juce::Image image (juce::Image::ARGB, 100, 20, true);
    {
        juce::Graphics g (image);
        editor->paintRowBackground (g, 0, 100, 20, true);
        editor->paintCell (g, 0, 1, 100, 20, true);
    }
    EXPECT_EQ (image.getPixelAt (50, 1), juce::Colour (0xff808080).brighter (0.4f));
    EXPECT_EQ (image.getPixelAt (99, 10), juce::Colour (0xff000000));   // the column line

    juce::Image other (juce::Image::ARGB, 100, 20, true);
    {
        juce::Graphics g (other);
        editor->paintRowBackground (g, 5, 100, 20, false);
        editor->paintCell (g, 5, 9, 100, 20, false);   // no entry, unknown column: only the line
    }
    EXPECT_EQ (other.getPixelAt (50, 10), juce::Colours::transparentBlack);
    EXPECT_EQ (other.getPixelAt (99, 10), juce::Colour (0xff000000));
}

TEST_F (EditorTest, ClickShowsTheEntryAtOnceAndTheTimerFollowsTheCurrentIndex)
{
    addFiles ({ "a.wav", "b.wav", "c.wav" });

    editor->timerCallback();   // the first block has not run yet: index -1
    EXPECT_EQ (editor->effects.currentTrack, nullptr);

    editor->cellClicked (1, 1, juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), {}, {},
                                                 0, 0, 0, 0, 0, editor.get(), editor.get(), {}, {}, {}, 1, false));
    EXPECT_EQ (processor->getCurrentIndex(), 1);
    EXPECT_EQ (editor->waveform->currentTrack, processor->playlist[1]);
    EXPECT_EQ (editor->effects.currentTrack, processor->playlist[1]);

    editor->timerCallback();
    EXPECT_EQ (editor->playlist->getSelectedRow(), 1);
    EXPECT_EQ (editor->lastShownIndex, 1);

    // The engine moves on by itself (advance, MIDI): the table follows.
    processor->selectTrack (2);
    editor->timerCallback();
    EXPECT_EQ (editor->playlist->getSelectedRow(), 2);
    EXPECT_EQ (editor->waveform->currentTrack, processor->playlist[2]);

    // DELETE of the current row empties the views, and the unchanged index keeps them empty.
    editor->buttonClicked (editor->deleteButton.get());
    EXPECT_EQ (processor->currentIndex, 2);
    editor->timerCallback();
    EXPECT_EQ (editor->waveform->currentTrack, nullptr);
    EXPECT_EQ (editor->effects.currentTrack, nullptr);

    // An index past the end, reached after CLEAR, shows nothing and selects no row.
    editor->buttonClicked (editor->clearButton.get());
    editor->timerCallback();
    EXPECT_EQ (editor->lastShownIndex, -1);
    addFiles ({ "d.wav" });
    editor->timerCallback();
    EXPECT_EQ (editor->lastShownIndex, 2);
    EXPECT_EQ (editor->playlist->getNumSelectedRows(), 0);
    EXPECT_EQ (editor->waveform->currentTrack, nullptr);
    EXPECT_EQ (editor->effects.currentTrack, nullptr);

    editor->cellDoubleClicked (0, 2, { juce::Desktop::getInstance().getMainMouseSource(), {}, {},
                                       0, 0, 0, 0, 0, editor.get(), editor.get(), {}, {}, {}, 2, false });
    EXPECT_EQ (processor->getCurrentIndex(), 0);
    EXPECT_EQ (editor->waveform->currentTrack, nullptr);   // the views follow at the next tick
    editor->timerCallback();
    EXPECT_EQ (editor->waveform->currentTrack, processor->playlist[0]);
}

TEST_F (EditorTest, KeysCompareOnlyTheKeyCodeAndAreAllConsumed)
{
    for (auto mods : { juce::ModifierKeys(), juce::ModifierKeys (juce::ModifierKeys::shiftModifier
                                                                 | juce::ModifierKeys::ctrlModifier
                                                                 | juce::ModifierKeys::altModifier) })
    {
        const bool paused = processor->paused;
        EXPECT_TRUE (press (juce::KeyPress::spaceKey, mods));
        EXPECT_EQ (processor->paused, ! paused);

        const bool loop = processor->loopEnabled;
        EXPECT_TRUE (press (juce::KeyPress::F9Key, mods));
        EXPECT_EQ (processor->loopEnabled, ! loop);
    }

    EXPECT_TRUE (press (juce::KeyPress::F10Key));   // empty playlist: nothing, still consumed

    const bool paused = processor->paused;
    EXPECT_TRUE (press ('a'));
    EXPECT_TRUE (press (juce::KeyPress::returnKey));
    EXPECT_EQ (processor->paused, paused);

    // F10 with no row selected moves entry 0 to its cue.
    addFiles ({ "a.wav", "b.wav" });
    processor->playlist[0]->cue = 0.25f;
    processor->playlist[0]->position = 0.75f;
    processor->playlist[1]->cue = 0.5f;
    EXPECT_TRUE (press (juce::KeyPress::F10Key, juce::ModifierKeys (juce::ModifierKeys::shiftModifier)));
    EXPECT_EQ (processor->playlist[0]->position, 0.25f);

    editor->playlist->selectRow (1);
    press (juce::KeyPress::F10Key);
    EXPECT_EQ (processor->playlist[1]->position, 0.5f);
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
    ASSERT_EQ (editor->playlist->getSelectedRow(), 1);
    editor->setCurrentTrack (1);
    editor->buttonClicked (editor->deleteButton.get());
    EXPECT_EQ (processor->playlist.size(), 1);
    EXPECT_EQ (editor->waveform->currentTrack, nullptr);

    editor->setCurrentTrack (0);
    editor->buttonClicked (editor->clearButton.get());
    EXPECT_EQ (processor->playlist.size(), 0);
    EXPECT_EQ (editor->effects.currentTrack, nullptr);
}

TEST_F (EditorTest, AddingRemembersTheFolderEvenWhenTheFileIsRejected)
{
    const auto flac = audioFolder().getChildFile ("other/song.flac");
    flac.create();
    editor->addFileChosen (flac);
    EXPECT_EQ (processor->playlist.size(), 0);
    EXPECT_EQ (editor->config.getValue ("LastUsedFile"), flac.getParentDirectory().getFullPathName());

    editor->addFileChosen (makeAudio ("one.wav"));
    EXPECT_EQ (processor->playlist.size(), 1);

    makeAudio ("two.aif");
    editor->addPathChosen (audioFolder());
    EXPECT_EQ (processor->playlist.size(), 3);
    EXPECT_EQ (editor->config.getValue ("LastUsedPath"), audioFolder().getFullPathName());
    EXPECT_EQ (editor->getNumRows(), 3);
}

TEST_F (EditorTest, ChoosersStartInTheStoredFolderElseMusicElseHome)
{
    editor->config.setValue ("LastUsedPath", audioFolder().getFullPathName());
    EXPECT_EQ (editor->startFolderFor ("LastUsedPath"), audioFolder());

    editor->config.setValue ("LastUsedPath", home.getChildFile ("deleted").getFullPathName());
    const auto music = juce::File::getSpecialLocation (juce::File::userMusicDirectory);
    EXPECT_EQ (editor->startFolderFor ("LastUsedPath"), music.exists() ? music : home);
    EXPECT_EQ (editor->startFolderFor ("NeverSet"), music.exists() ? music : home);
}

TEST_F (EditorTest, SaveAddsXmlAndAsksBeforeOverwriting)
{
    addFiles ({ "a.wav" });
    int questions = 0;
    bool answer = false;
    editor->askToOverwrite = [&] (std::function<void (bool)> reply) { ++questions; reply (answer); };

    const auto lists = home.getChildFile ("lists");
    ASSERT_TRUE (lists.createDirectory());

    editor->saveChosen (lists.getChildFile ("list"));
    EXPECT_TRUE (lists.getChildFile ("list.xml").existsAsFile());
    editor->saveChosen (lists.getChildFile ("list.txt"));
    EXPECT_TRUE (lists.getChildFile ("list.txt.xml").existsAsFile());
    editor->saveChosen (lists.getChildFile ("LIST.XML"));
    EXPECT_TRUE (lists.getChildFile ("LIST.XML").existsAsFile());
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
                       "<playlist><file/><file name=\"\"/><file name=\"relative/a.wav\"/><item name=\"/x/b.wav\"/>"
                       "<file name=\"/nowhere/c.wav\"/></playlist>" })
    {
        ASSERT_TRUE (damaged.replaceWithText (text));
        editor->loadPlaylist (damaged);
    }

    EXPECT_EQ (processor->playlist.size(), 3);   // only the absolute name was added
    EXPECT_EQ (processor->playlist[2]->getFilePath(), "/nowhere/c.wav");
    editor->loadPlaylist (home.getChildFile ("missing.xml"));
    EXPECT_EQ (processor->playlist.size(), 3);
}

TEST_F (EditorTest, SettingsAreWrittenWhenTheEditorGoes)
{
    editor->addPathChosen (audioFolder());
    editor.reset();

    ConfigFile config ("Velorin");
    EXPECT_EQ (config.getValue ("LastUsedPath"), audioFolder().getFullPathName());
}
