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
        note (what, state() + " | row " + String (editor->playlist->getSelectedRow()) + " selected, shown "
                        + shown (editor->waveform->currentTrack) + " " + shown (editor->effects.currentTrack));
    }

    void press (int key, int modifiers = 0)
    {
        const KeyPress keyPress (key, ModifierKeys (modifiers), 0);
        const auto consumed = editor->keyPressed (keyPress, editor.get());
        step (keyPress.getTextDescription() + (consumed ? "" : " (not consumed)"));
    }

    std::unique_ptr<ReplayProcessorEditor> editor = std::make_unique<ReplayProcessorEditor> (processor.get());
    const MouseEvent click { Desktop::getInstance().getMainMouseSource(),
                             {},
                             {},
                             0,
                             0,
                             0,
                             0,
                             0,
                             editor.get(),
                             editor.get(),
                             {},
                             {},
                             {},
                             1,
                             false };
};

TEST_F (EditorTest, LooksAsTheReferenceWithTitlesAndTheSelectedRowLit)
{
    audioFile ("a.wav");
    testkit::setTags (audioFile ("b.wav"), CharPointer_UTF8 ("Título"), CharPointer_UTF8 ("Björk"));
    audioFile ("c.wav");
    editor->addPathChosen (audio);
    editor->playlist->selectRow (2);
    editor->playlist->getHeader().setColumnVisible (1, false);   // it shows this test's paths
    EXPECT_TRUE (matchesReference (editor->createComponentSnapshot (editor->getLocalBounds()), "editor-with-rows.png"));
}

TEST_F (EditorTest, TheTableFollowsTheEngineAndTheButtonsAndKeysAct)
{
    for (auto name : { "a.wav", "b.wav", "c.wav" })
        editor->addFileChosen (audioFile (name));

    editor->cellClicked (1, 1, click);
    step ("row 1 clicked: shown at once");
    processor->selectTrack (2);
    editor->timerCallback();
    step ("the engine at 2, timer");
    editor->buttonClicked (editor->deleteButton.get());
    step ("DELETE of the current row");
    editor->cellDoubleClicked (0, 2, click);
    editor->timerCallback();
    step ("row 0 double-clicked, timer");

    processor->playlist[0]->cue = 0.5f;
    press (KeyPress::spaceKey);
    render ("a block");
    editor->playlist->selectRow (1);
    press (KeyPress::F10Key);   // the selected row's entry to its cue, not the current one
    editor->playlist->deselectAllRows();
    press (KeyPress::F10Key);   // with none selected, the first
    press (KeyPress::F9Key);
    press (KeyPress::spaceKey, ModifierKeys::shiftModifier);
    press (KeyPress::F9Key, ModifierKeys::ctrlModifier | ModifierKeys::altModifier);
    editor->buttonClicked (editor->clearButton.get());
    step ("CLEAR");
    press (KeyPress::F10Key);
}

TEST_F (EditorTest, ChoosersRememberTheirFoldersAndSaveAndLoadListsAsXml)
{
    editor->addFileChosen (audioFile ("a.wav"));
    audioFile ("b.aif");
    editor->addPathChosen (audio);

    // Saved as chosen when the name ends in .xml, else with .xml added, asking before it replaces a file.
    bool overwrite = false;
    editor->askToOverwrite = [&] (std::function<void (bool)> reply) { reply (overwrite); };
    const auto old = home.getChildFile ("old.xml");
    old.replaceWithText ("old");

    for (auto chosen : { "list", "list.txt", "LIST.XML", "old" })
        editor->saveChosen (old.getSiblingFile (chosen));

    note ("old.xml after Cancel", read (old));
    overwrite = true;
    editor->saveChosen (old.getSiblingFile ("old"));
    note ("old.xml after OK", read (old));
    StringArray files;

    for (auto& file : home.findChildFiles (File::findFiles, false))
        files.add (file.getFileName());

    files.sort (false);
    note ("files", files.joinIntoString (", "));

    editor->buttonClicked (editor->clearButton.get());
    editor->loadChosen (old);
    step ("CLEAR, old.xml loaded");
    const auto other = home.getChildFile ("other.xml");
    other.replaceWithText ("<playlist><file/><file name=\"\"/><file name=\"relative/b.wav\"/><item name=\"/x/c.wav\"/>"
                           "<file name=\"/nowhere/d.wav\"/></playlist>");
    processor->loadPlaylist (other);
    step ("another's list loaded: only an absolute path in a file element");
    editor.reset();   // writes the settings
    note (".config", read (".config").replace (home.getFullPathName(), "~"));
}
