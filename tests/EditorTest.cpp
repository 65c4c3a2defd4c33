#include "VelorinTest.h"
#include "ui/ReplayProcessorEditor.h"

// The editor on a processor, driven through its handlers: layout, table, the refresh timer, the
// keys, and the playlist buttons' work once a chooser has answered; recorded after each step.

class EditorTest : public ProcessorTest
{
protected:
    void step (const juce::String& what)
    {
        const auto shown = [this] (PlaylistEntry* e) { return e != nullptr ? e->file.getFileName() : juce::String ("-"); };
        note (what, state() + " | rows " + juce::String (editor->getNumRows()) + ", selected " + juce::String (editor->playlist->getSelectedRow()) + ", last shown " + juce::String (editor->lastShownIndex)
                        + ", shown " + shown (editor->waveform->currentTrack) + " " + shown (editor->effects.currentTrack) + " | config "
                        + editor->config.settings.toString (juce::XmlElement::TextFormat().singleLine().withoutHeader()).replace (audio.getFullPathName(), "~/audio").replace (home.getFullPathName(), "~"));
    }

    void addFiles (std::initializer_list<const char*> names)   { for (auto name : names) editor->addFileChosen (audioFile (name, 8000.0, 1)); }
    void tick()                                                { editor->timerCallback(); step ("timer"); }
    void press (int key, int mods = 0)                         { step ("key " + juce::String (key) + (editor->keyPressed (juce::KeyPress (key, juce::ModifierKeys (mods), 0), editor.get()) ? "" : " NOT CONSUMED")); }
    juce::MouseEvent click (int n)   { return { juce::Desktop::getInstance().getMainMouseSource(), {}, {}, 0, 0, 0, 0, 0, editor.get(), editor.get(), {}, {}, {}, n, false }; }

    std::unique_ptr<ReplayProcessorEditor> editor = std::make_unique<ReplayProcessorEditor> (processor.get());
};

TEST_F (EditorTest, LayoutAndLook)
{
    // Its look is the default while it lives; it paints the rows (the selected one lit) with each file's title and artist (and path, left out).
    EXPECT_EQ (&juce::LookAndFeel::getDefaultLookAndFeel(), &editor->lookAndFeel);
    for (auto [name, title] : { std::pair ("a.wav", ""), { "b.wav", "Title" }, { "c.wav", "" } })
        testkit::setTags (audioFile (name, 8000.0, 1), title, juce::String (title).isEmpty() ? "" : "Artist"), editor->addFileChosen (audio.getChildFile (name));
    auto& header = editor->playlist->getHeader();
    editor->playlist->selectRow (2);
    EXPECT_TRUE (matchesReference (editor->createComponentSnapshot (editor->getLocalBounds().withLeft (editor->playlist->getX() + header.getColumnWidth (1) + 2)), "editor-with-rows.png"));
    for (auto [w, h] : { std::pair (800, 500), { 400, 300 }, { 800, 500 } })   // widths the user dragged are set again
    {
        editor->setSize (w, h);
        for (auto* child : editor->getChildren()) note (child->getName(), seen (*child));
        for (int column = 1; column <= 3; ++column) note (header.getColumnName (column), juce::String (header.getColumnWidth (column)));
        header.setColumnWidth (1, 250);
    }
    EXPECT_EQ (editor->playlist->getRowHeight() * 100 + editor->playlist->getHeaderHeight(), 2020);
    editor.reset();
    EXPECT_FALSE (juce::LookAndFeel::getDefaultLookAndFeel().isColourSpecified (DravikLightLookAndFeel::mainBackgroundColourId));
}

TEST_F (EditorTest, TableTimerKeysAndButtons)
{
    const auto flac = audio.getChildFile ("other/song.flac");
    flac.create(), editor->addFileChosen (flac);   // rejected, but its folder is remembered
    addFiles ({ "a.wav", "b.wav", "c.wav" }), step ("three added");
    tick();                                        // no block has run: index -1
    editor->cellClicked (1, 1, click (1)), step ("row 1 clicked"), tick();   // shows the entry at once
    processor->selectTrack (2), editor->timerCallback(), step ("engine at 2, timer");   // the engine moves on by itself: the table follows
    editor->buttonClicked (editor->deleteButton.get()), step ("DELETE of the current row"), tick();
    editor->playlist->deselectAllRows(), editor->setCurrentTrack (1), editor->buttonClicked (editor->deleteButton.get()), step ("DELETE with no row selected");
    editor->setCurrentTrack (0), editor->buttonClicked (editor->clearButton.get()), step ("CLEAR"), tick();
    addFiles ({ "d.wav" }), editor->timerCallback(), step ("d added, timer: past the end");
    editor->cellDoubleClicked (0, 2, click (2)), step ("row 0 double-clicked: the views follow at the next tick"), tick();

    for (int mods : { 0, juce::ModifierKeys::shiftModifier | juce::ModifierKeys::ctrlModifier | juce::ModifierKeys::altModifier })
        press (juce::KeyPress::spaceKey, mods), press (juce::KeyPress::F9Key, mods);
    press ('a'), press (juce::KeyPress::returnKey);
    addFiles ({ "e.wav" });
    processor->playlist[0]->cue = 0.25f, processor->playlist[0]->position = 0.75f, processor->playlist[1]->cue = 0.5f;
    const auto positions = [this] { note ("positions", juce::String (processor->playlist[0]->position.load()) + " " + juce::String (processor->playlist[1]->position.load())); };
    press (juce::KeyPress::F10Key, juce::ModifierKeys::shiftModifier), positions();   // entry 0 to its cue, with no row selected
    editor->playlist->selectRow (1), press (juce::KeyPress::F10Key), positions();     // the selected row's entry
    editor->buttonClicked (editor->clearButton.get()), press (juce::KeyPress::F10Key);   // empty: nothing, still consumed
}

TEST_F (EditorTest, ChoosersSaveAndLoad)
{
    editor->addPathChosen (audio), addFiles ({ "a.wav" }), audioFile ("b.aif"), editor->addPathChosen (audio), step ("folder added");
    const auto music = juce::File::getSpecialLocation (juce::File::userMusicDirectory);
    EXPECT_EQ (editor->startFolderFor ("LastUsedPath"), audio);   // the stored folder, else the music folder, else home
    editor->config.setValue ("LastUsedPath", home.getChildFile ("deleted").getFullPathName());
    EXPECT_EQ (editor->startFolderFor ("LastUsedPath"), music.exists() ? music : home);
    EXPECT_EQ (editor->startFolderFor ("NeverSet"), music.exists() ? music : home);

    int questions = 0, answer = false;
    editor->askToOverwrite = [&] (std::function<void (bool)> reply) { ++questions; reply (answer); };
    const auto lists = home.getChildFile ("lists");
    ASSERT_TRUE (lists.createDirectory() && lists.getChildFile ("old.xml").replaceWithText ("old"));
    for (auto [chosen, yes] : { std::pair ("list", false), { "list.txt", false }, { "LIST.XML", false }, { "old", false }, { "old", true } })
    {
        answer = yes, editor->saveChosen (lists.getChildFile (chosen));
        note (juce::String ("save ") + chosen + (yes ? ", OK" : ""), juce::String (questions) + " questions, files " + juce::String (lists.findChildFiles (juce::File::findFiles, false).size())
                                                                          + ", old.xml " + juce::String (read (lists.getChildFile ("old.xml")).length()) + " bytes");
    }
    editor->buttonClicked (editor->clearButton.get()), editor->loadChosen (lists.getChildFile ("old.xml")), step ("loaded");
    const auto damaged = home.getChildFile ("damaged.xml");
    for (auto text : { "not xml at all <<", "<other><file name=\"/x/a.wav\"/></other>", "",
                       "<playlist><file/><file name=\"\"/><file name=\"relative/a.wav\"/><item name=\"/x/b.wav\"/><file name=\"/nowhere/c.wav\"/></playlist>" })
        damaged.replaceWithText (text), processor->loadPlaylist (damaged);
    processor->loadPlaylist (home.getChildFile ("missing.xml")), step ("damaged lists loaded");
    editor.reset();   // the settings are written when the editor goes
    note (".config", read (".config").replace (home.getFullPathName(), "~"));
}
