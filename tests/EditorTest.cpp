#include "VelorinTest.h"
#include "ui/ReplayProcessorEditor.h"

using namespace juce;

// The editor on a processor, driven through its handlers (a chooser's answer included); the record holds the
// engine's state, the table's selected row and what the waveform view and the transport panel show after each step.

class EditorTest : public ProcessorTest
{
protected:
    void step (const String& what)
    {
        const auto shown = [] (PlaylistEntry* entry) { return entry != nullptr ? entry->file.getFileName() : "-"; };
        note (what, state() + " | row " + String (editor->playlist->getSelectedRow()) + " of " + String (editor->getNumRows())
                        + " selected, shown " + shown (editor->waveform->currentTrack) + " " + shown (editor->effects.currentTrack));
    }

    void tick (const String& what)
    {
        editor->timerCallback();
        step (what);
    }

    void press (int key, int modifiers = 0)
    {
        const KeyPress keyPress (key, ModifierKeys (modifiers), 0);
        const auto consumed = editor->keyPressed (keyPress, editor.get());
        step (keyPress.getTextDescription() + (consumed ? "" : " (not consumed)"));
    }

    void addFiles (std::initializer_list<const char*> names)
    {
        for (auto name : names)
            editor->addFileChosen (audioFile (name, 8000.0, 1));
    }

    std::unique_ptr<ReplayProcessorEditor> editor = std::make_unique<ReplayProcessorEditor> (processor.get());
    const MouseEvent click { Desktop::getInstance().getMainMouseSource(), {}, {}, 0, 0, 0, 0, 0,
                             editor.get(), editor.get(), {}, {}, {}, 1, false };
};

TEST_F (EditorTest, LooksAsTheReferenceWithTitlesTheSelectedRowLitAndColumnsSetAgainOnResize)
{
    audioFile ("a.wav");
    testkit::setTags (audioFile ("b.wav"), CharPointer_UTF8 ("Título"), CharPointer_UTF8 ("Björk"));
    audioFile ("c.wav");
    editor->addPathChosen (audio);
    editor->playlist->selectRow (2);
    editor->setSize (400, 300);
    editor->playlist->getHeader().setColumnWidth (1, 250);   // as the user drags it
    editor->setSize (800, 500);

    // The file column shows this test's path: left out.
    const auto fileColumnEnd = editor->playlist->getX() + editor->playlist->getHeader().getColumnWidth (1) + 2;
    const auto area = editor->getLocalBounds().withLeft (fileColumnEnd);
    EXPECT_TRUE (matchesReference (editor->createComponentSnapshot (area), "editor-with-rows.png"));
}

TEST_F (EditorTest, TheTableFollowsTheEngineAndTheButtonsAndKeysAct)
{
    addFiles ({ "a.wav", "b.wav", "c.wav" });
    tick ("three added, timer");   // no block has run: no current entry
    editor->cellClicked (1, 1, click);
    step ("row 1 clicked: shown at once");
    tick ("timer");
    processor->selectTrack (2);
    tick ("the engine at 2, timer");
    editor->buttonClicked (editor->deleteButton.get());
    step ("DELETE of the current row");
    tick ("timer");
    editor->playlist->deselectAllRows();
    editor->setCurrentTrack (1);
    editor->buttonClicked (editor->deleteButton.get());
    step ("DELETE with no row selected");
    editor->setCurrentTrack (0);
    editor->buttonClicked (editor->clearButton.get());
    step ("CLEAR");
    tick ("timer");
    addFiles ({ "d.wav" });
    tick ("d added, timer: the index past the end");
    editor->cellDoubleClicked (0, 2, click);
    step ("row 0 double-clicked");
    tick ("timer");

    for (int modifiers : { 0, ModifierKeys::shiftModifier | ModifierKeys::ctrlModifier | ModifierKeys::altModifier })
    {
        press (KeyPress::spaceKey, modifiers);
        press (KeyPress::F9Key, modifiers);
    }
    press ('a');

    // F10: the selected row's entry, or with none selected the first, to its cue.
    addFiles ({ "e.wav" });
    processor->playlist[0]->cue = 0.25f;
    processor->playlist[0]->position = 0.75f;
    processor->playlist[1]->cue = 0.5f;
    const auto positions = [this] (const String& what)
    {
        note (what, String (processor->playlist[0]->position.load()) + " " + String (processor->playlist[1]->position.load()));
    };
    editor->playlist->deselectAllRows();
    press (KeyPress::F10Key);
    positions ("positions");
    editor->playlist->selectRow (1);
    press (KeyPress::F10Key);
    positions ("positions");
    editor->buttonClicked (editor->clearButton.get());
    press (KeyPress::F10Key);
}

TEST_F (EditorTest, ChoosersRememberTheirFoldersSaveAListAsXmlAndLoadOnlyWhatItNames)
{
    const auto flac = audio.getChildFile ("other/song.flac");
    flac.create();
    editor->addFileChosen (flac);   // not added, but its folder is remembered
    audioFile ("a.wav");
    audioFile ("b.aif");
    editor->addPathChosen (audio);
    step ("folder added");
    EXPECT_EQ (editor->startFolderFor ("LastUsedPath"), audio);
    editor->config.setValue ("LastUsedPath", home.getChildFile ("deleted").getFullPathName());
    const auto music = File::getSpecialLocation (File::userMusicDirectory);
    EXPECT_EQ (editor->startFolderFor ("LastUsedPath"), music.exists() ? music : home) << "its folder deleted";

    int questions = 0;
    bool answer = false;
    editor->askToOverwrite = [&] (std::function<void (bool)> reply)
    {
        ++questions;
        reply (answer);
    };
    const auto lists = home.getChildFile ("lists");
    lists.createDirectory();
    ASSERT_TRUE (lists.getChildFile ("old.xml").replaceWithText ("old"));

    for (auto [chosen, ok] : { std::pair ("list", false), { "list.txt", false }, { "LIST.XML", false }, { "old", false },
                               { "old", true } })
    {
        answer = ok;
        editor->saveChosen (lists.getChildFile (chosen));
        StringArray files;

        for (auto& file : lists.findChildFiles (File::findFiles, false))
            files.add (file.getFileName() + " " + String (file.getSize()));

        files.sort (false);
        note (String ("save ") + chosen + (ok ? ", OK" : ""), String (questions) + " asked, " + files.joinIntoString (", "));
    }
    note ("old.xml", read (lists.getChildFile ("old.xml")));

    editor->buttonClicked (editor->clearButton.get());
    editor->loadChosen (lists.getChildFile ("old.xml"));
    step ("CLEAR, old.xml loaded");
    const auto damaged = home.getChildFile ("damaged.xml");

    for (auto text : { "not xml at all <<", "<other><file name=\"/x/a.wav\"/></other>",
                       "<playlist><file/><file name=\"\"/><file name=\"relative/a.wav\"/><item name=\"/x/b.wav\"/>"
                       "<file name=\"/nowhere/c.wav\"/></playlist>" })
    {
        damaged.replaceWithText (text);
        editor->loadPlaylist (damaged);
    }
    editor->loadPlaylist (home.getChildFile ("missing.xml"));
    step ("damaged lists loaded: only an absolute path of a file element");

    editor.reset();   // writes the settings
    note (".config", read (".config").replace (home.getFullPathName(), "~"));
}
