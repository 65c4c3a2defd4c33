#include "ui/ReplayProcessorEditor.h"
#include "engine/XmlFiles.h"

using namespace juce;

ReplayProcessorEditor::ReplayProcessorEditor (ReplayProcessor* p)
    : AudioProcessorEditor (p),
      effects (p)
{
    LookAndFeel::setDefaultLookAndFeel (&lookAndFeel);
    formatManager.registerBasicFormats();

    waveform = std::make_unique<WaveformView> (formatManager, *p);
    addAndMakeVisible (*waveform);

    struct ButtonSpec
    {
        std::unique_ptr<TextButton>& button;
        const char* caption;
        const char* tooltip;
    };
    const ButtonSpec buttons[] = {
        { addPathButton, "+PATH", "Add all supported files recursively from a direcroty." },
        { addFileButton, "+FILE", "Add one supported file." },
        { deleteButton, "DELETE", "Delete one entry." },
        { clearButton, "CLEAR", "Clear all entries." },
        { loadButton, "LOAD", "Load playlist." },
        { saveButton, "SAVE", "Save playlist." },
    };

    for (auto& spec : buttons)
    {
        spec.button = std::make_unique<TextButton> (String());
        addAndMakeVisible (*spec.button);
        spec.button->setButtonText (TRANS (spec.caption));
        spec.button->addListener (this);
    }

    for (auto& spec : buttons)
        spec.button->setTooltip (TRANS (spec.tooltip));

    getTopLevelComponent()->addKeyListener (this);

    playlist = std::make_unique<TableListBox> ("playlist", this);
    addAndMakeVisible (*playlist);
    playlist->setOutlineThickness (2);

    auto& header = playlist->getHeader();
    header.addColumn (TRANS ("file"), 1, 300, 200, -1, TableHeaderComponent::notSortable);
    header.addColumn (TRANS ("title"), 2, 200, 100, -1, TableHeaderComponent::notSortable);
    header.addColumn (TRANS ("artist"), 3, 200, 100, -1, TableHeaderComponent::notSortable);
    playlist->setHeaderHeight (20);
    playlist->setRowHeight (20);

    addAndMakeVisible (effects);

    setSize (p->uiWidth, p->uiHeight);
    startTimer (200);

    askToOverwrite = [safeThis = SafePointer<ReplayProcessorEditor> (this)] (std::function<void (bool)> answer)
    {
        NativeMessageBox::showOkCancelBox (MessageBoxIconType::WarningIcon, TRANS ("Overwrite"),
                                           TRANS ("File exists, overwrite?"), nullptr,
                                           ModalCallbackFunction::create (
                                               [safeThis, answer] (int result)
                                               {
                                                   if (safeThis != nullptr)
                                                       answer (result != 0);
                                               }));
    };

    tellUser = [] (const String& title, const String& message)
    {
        // Without a screen (run headless) there is nowhere to put a box: the log gets it.
        if (Desktop::getInstance().isHeadless())
            Logger::writeToLog (title + ": " + message);
        else
            AlertWindow::showMessageBoxAsync (MessageBoxIconType::WarningIcon, title, message);
    };

    // Told once the window is up, by whatever tellUser is by then.
    if (p->getDataFolderProblem().isNotEmpty())
        MessageManager::callAsync (
            [safeThis = SafePointer<ReplayProcessorEditor> (this)]
            {
                if (safeThis != nullptr)
                    safeThis->tellAboutDataFolder();
            });
}

ReplayProcessorEditor::~ReplayProcessorEditor()
{
    stopTimer();
    chooser.reset();

    // The framework's default must not outlive the member it points to.
    if (&LookAndFeel::getDefaultLookAndFeel() == &lookAndFeel)
        LookAndFeel::setDefaultLookAndFeel (nullptr);
}

ReplayProcessor& ReplayProcessorEditor::getProcessor() const
{
    return static_cast<ReplayProcessor&> (processor);
}

PlaylistEntry* ReplayProcessorEditor::entryAt (int row) const
{
    return getProcessor().playlist[row];
}

//==============================================================================
void ReplayProcessorEditor::paint (Graphics& g)
{
    g.fillAll (findColour (DravikLightLookAndFeel::mainBackgroundColourId, false));
}

void ReplayProcessorEditor::resized()
{
    const int w = getWidth();
    const int h = getHeight();

    playlist->setBounds (4, 38, w - 8, h - 310);

    const double x = playlist->getWidth() - 80;
    auto& header = playlist->getHeader();
    header.setColumnWidth (1, (int) (x * 0.5));
    header.setColumnWidth (2, (int) (x * 0.3));
    header.setColumnWidth (3, (int) (x * 0.2));

    waveform->setBounds (8, h - 268, w - 16, 160);

    int buttonX = 4;
    for (auto* button : { addPathButton.get(), addFileButton.get(), deleteButton.get(), clearButton.get(),
                          loadButton.get(), saveButton.get() })
    {
        button->setBounds (buttonX, 4, 60, 30);
        buttonX += 64;
    }

    effects.setBounds (4, h - 84, w, 80);
}

//==============================================================================
int ReplayProcessorEditor::getNumRows()
{
    return getProcessor().playlist.size();
}

void ReplayProcessorEditor::paintRowBackground (Graphics& g, int, int, int, bool rowIsSelected)
{
    if (rowIsSelected)
        g.fillAll (findColour (ListBox::outlineColourId, false).brighter (0.4f));
}

void ReplayProcessorEditor::paintCell (Graphics& g, int rowNumber, int columnId, int width, int height, bool)
{
    g.setColour (findColour (ListBox::textColourId, false));

    if (auto* entry = entryAt (rowNumber))
    {
        String text;

        switch (columnId)
        {
            case 1: text = entry->getFilePath(); break;
            case 2: text = entry->getTitle(); break;
            case 3: text = entry->getArtist(); break;
            default: break;
        }

        g.drawText (text, 2, 0, width - 4, height, Justification::centredLeft, true);
    }

    g.setColour (Colour (0xff000000));
    g.fillRect (width - 1, 0, 1, height);
}

void ReplayProcessorEditor::cellClicked (int rowNumber, int, const MouseEvent&)
{
    setCurrentTrack (rowNumber);
    getProcessor().selectTrack (rowNumber);
    repaint();
}

void ReplayProcessorEditor::cellDoubleClicked (int rowNumber, int, const MouseEvent&)
{
    getProcessor().selectTrack (rowNumber);
    repaint();
}

void ReplayProcessorEditor::setCurrentTrack (int row)
{
    auto* entry = entryAt (row);
    waveform->setSource (entry);
    effects.currentTrack = entry;

    // With no entry shown, the read-out shows no times: those it had may be of an entry that is gone.
    if (entry == nullptr)
        effects.playInfoLabel->setText ({}, dontSendNotification);
}

void ReplayProcessorEditor::timerCallback()
{
    const int index = getProcessor().getCurrentIndex();
    auto* entry = entryAt (index);

    // Deleting the current row makes the next entry current at the same index: the views
    // follow the entry itself, not only its number.
    if (index != lastShownIndex || entry != lastShownEntry.get())
    {
        lastShownIndex = index;
        lastShownEntry = entry;
        playlist->selectRow (index);
        setCurrentTrack (index);
    }

    effects.refresh();
    waveform->followIfMoved();
}

bool ReplayProcessorEditor::keyPressed (const KeyPress& key, Component*)
{
    auto& engine = getProcessor();
    const int code = key.getKeyCode();

    if (code == KeyPress::spaceKey)
    {
        ReplayProcessor::flip (engine.paused);
    }
    else if (code == KeyPress::F9Key)
    {
        ReplayProcessor::flip (engine.loopEnabled);
    }
    else if (code == KeyPress::F10Key)
    {
        if (auto* entry = entryAt (playlist->getSelectedRows()[0]))
            engine.moveEntryTo (*entry, entry->cue);
    }

    return true;
}

//==============================================================================
File ReplayProcessorEditor::startFolderFor (const String& key) const
{
    const auto stored = XmlFiles::fileFromStoredPath (config.getValue (key));

    if (stored != File() && stored.exists())
        return stored;

    const auto music = File::getSpecialLocation (File::userMusicDirectory);
    return music.exists() ? music : File::getSpecialLocation (File::userHomeDirectory);
}

void ReplayProcessorEditor::launchChooser (const String& title, const String& key, const String& patterns,
                                           int browserFlags, std::function<void (const File&)> chosen)
{
    chooser = std::make_unique<FileChooser> (title, startFolderFor (key), patterns, false);
    chooser->launchAsync (browserFlags,
                          [safeThis = SafePointer<ReplayProcessorEditor> (this), chosen] (const FileChooser& fc)
                          {
                              if (safeThis == nullptr)
                                  return;

                              const auto result = fc.getResult();

                              if (result != File())
                                  chosen (result);
                          });
}

void ReplayProcessorEditor::buttonClicked (Button* button)
{
    auto& engine = getProcessor();

    if (button == addPathButton.get())
    {
        launchChooser (TRANS ("Choose a directory..."), "LastUsedPath", "*",
                       FileBrowserComponent::openMode | FileBrowserComponent::canSelectDirectories,
                       [this] (const File& f) { addPathChosen (f); });
    }
    else if (button == addFileButton.get())
    {
        // Offers exactly what the player plays.
        launchChooser (TRANS ("Choose a file to open..."), "LastUsedFile",
                       engine.formatManager.getWildcardForAllFormats(),
                       FileBrowserComponent::openMode | FileBrowserComponent::canSelectFiles,
                       [this] (const File& f) { addFileChosen (f); });
    }
    else if (button == deleteButton.get())
    {
        setCurrentTrack (-1);
        engine.removeEntry (playlist->getSelectedRow (0));
    }
    else if (button == clearButton.get())
    {
        setCurrentTrack (-1);
        engine.clearPlaylist();
    }
    else if (button == loadButton.get())
    {
        launchChooser (TRANS ("Choose a playlist to load..."), "LastUsedPlaylist", "*.xml",
                       FileBrowserComponent::openMode | FileBrowserComponent::canSelectFiles,
                       [this] (const File& f) { loadChosen (f); });
    }
    else if (button == saveButton.get())
    {
        launchChooser (TRANS ("Choose a file to save..."), "LastUsedPlaylist", "*.xml",
                       FileBrowserComponent::saveMode | FileBrowserComponent::canSelectFiles
                           | FileBrowserComponent::warnAboutOverwriting,
                       [this] (const File& f) { saveChosen (f); });
    }

    playlist->updateContent();
}

void ReplayProcessorEditor::addPathChosen (const File& folder)
{
    config.setValue ("LastUsedPath", folder.getFullPathName());
    const auto scan = getProcessor().addDirectory (folder);
    playlist->updateContent();

    StringArray cutShort, parts;

    for (const auto& cut : scan.cutShort)
        cutShort.add (cut.getFullPathName());

    const auto addPart = [&parts] (const String& heading, const StringArray& paths)
    {
        if (! paths.isEmpty())
            parts.add (heading + "\n" + paths.joinIntoString ("\n"));
    };

    addPart (TRANS ("Listing these folders took too long and was cut short:"), cutShort);
    addPart (TRANS ("These folders can't be read:"), scan.unreadable);
    addPart (TRANS ("These names aren't UTF-8, so the player can't open them:"), scan.notUtf8);

    if (! parts.isEmpty())
        tellUser (TRANS ("Folder not fully added"), parts.joinIntoString ("\n\n"));
}

void ReplayProcessorEditor::addFileChosen (const File& file)
{
    config.setValue ("LastUsedFile", file.getParentDirectory().getFullPathName());

    auto& engine = getProcessor();
    const int rowsBefore = engine.playlist.size();
    engine.addFile (file);
    playlist->updateContent();

    if (engine.playlist.size() == rowsBefore)
    {
        tellUser (TRANS ("File not added"), file.getFullPathName() + "\n" + TRANS ("is not a WAV or AIFF file."));
        return;
    }

    if (! engine.playlist.getLast()->hasOpened())
        tellUser (TRANS ("File not playable"), file.getFullPathName() + "\n" + TRANS ("can't be opened as audio."));
}

void ReplayProcessorEditor::tellAboutDataFolder()
{
    const auto problem = getProcessor().getDataFolderProblem();

    if (problem.isNotEmpty())
        tellUser (TRANS ("Cue points and loops won't be kept"),
                  TRANS ("The data folder") + "\n" + XmlFiles::getDataFolder().getFullPathName() + "\n"
                      + TRANS ("can't be written to") + " (" + problem + "), "
                      + TRANS ("so the cue points and loops set in this run won't be kept."));
}

void ReplayProcessorEditor::save (const File& file)
{
    if (! getProcessor().savePlaylist (file))
        tellUser (TRANS ("Playlist not saved"), TRANS ("The playlist could not be written to") + "\n"
                                                    + file.getFullPathName() + "\n\n" + XmlFiles::getLastWriteError());
}

void ReplayProcessorEditor::saveChosen (const File& file)
{
    config.setValue ("LastUsedPlaylist", file.getParentDirectory().getFullPathName());

    if (file.hasFileExtension ("xml"))
    {
        save (file);
        return;
    }

    const File target (file.getFullPathName() + ".xml");

    if (! target.exists())
    {
        save (target);
        return;
    }

    askToOverwrite (
        [safeThis = SafePointer<ReplayProcessorEditor> (this), target] (bool ok)
        {
            if (ok && safeThis != nullptr)
                safeThis->save (target);
        });
}

void ReplayProcessorEditor::loadChosen (const File& file)
{
    config.setValue ("LastUsedPlaylist", file.getParentDirectory().getFullPathName());
    StringArray skipped;

    if (! getProcessor().loadPlaylist (file, &skipped))
    {
        const bool readable = XmlFiles::isRegularFile (file) && FileInputStream (file).openedOk();
        tellUser (TRANS ("Playlist not loaded"),
                  file.getFullPathName() + "\n" + (readable ? TRANS ("is not a playlist.") : TRANS ("can't be read.")));
    }
    else if (! skipped.isEmpty())
    {
        constexpr int shown = 5;
        StringArray first;

        for (int i = 0; i < jmin (shown, skipped.size()); ++i)
            first.add ("\"" + skipped[i] + "\"");

        if (skipped.size() > shown)
            first.add ("...");

        tellUser (TRANS ("Playlist not fully loaded"),
                  file.getFullPathName() + "\n" + TRANS ("Items skipped:") + " " + String (skipped.size()) + " "
                      + TRANS ("(only absolute paths of WAV or AIFF files are added)") + "\n"
                      + first.joinIntoString ("\n"));
    }

    playlist->updateContent();
}
