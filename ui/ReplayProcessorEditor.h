#pragma once

#include "engine/ReplayProcessor.h"
#include "ui/ConfigFile.h"
#include "ui/DravikLightLookAndFeel.h"
#include "ui/EffectsComponent.h"
#include "ui/WaveformView.h"

/** The player's main screen: six playlist buttons over the playlist table, the waveform
    view and the transport panel. A 200 ms timer follows the processor's current entry and
    wakes the waveform view when it rests; Space, F9 and F10 work while the focus is inside
    the editor. */
class ReplayProcessorEditor : public juce::AudioProcessorEditor,
                              public juce::Button::Listener,
                              public juce::TableListBoxModel,
                              public juce::Timer,
                              public juce::KeyListener
{
public:
    explicit ReplayProcessorEditor (ReplayProcessor* processor);
    ~ReplayProcessorEditor() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    void buttonClicked (juce::Button*) override;

    int getNumRows() override;
    void paintRowBackground (juce::Graphics&, int rowNumber, int width, int height, bool rowIsSelected) override;
    void paintCell (juce::Graphics&, int rowNumber, int columnId, int width, int height, bool rowIsSelected) override;
    void cellClicked (int rowNumber, int columnId, const juce::MouseEvent&) override;
    void cellDoubleClicked (int rowNumber, int columnId, const juce::MouseEvent&) override;

    /** Shows the entry at a row in the waveform view and the transport panel; with no entry
        there, nothing, and the read-out is emptied. */
    void setCurrentTrack (int row);

    void timerCallback() override;
    bool keyPressed (const juce::KeyPress&, juce::Component* originatingComponent) override;

    //==============================================================================
    // What the buttons do once their chooser has returned a choice.
    void addPathChosen (const juce::File& folder);
    void addFileChosen (const juce::File& file);
    void saveChosen (const juce::File& file);
    void loadChosen (const juce::File& file);

    /** The folder a chooser starts in: the stored one, else the music folder, else home. */
    juce::File startFolderFor (const juce::String& key) const;

    /** Asks whether an existing playlist file may be overwritten and passes the answer on.
        Shows the OK/Cancel box; tests put their own answer here. */
    std::function<void (std::function<void (bool)>)> askToOverwrite;

    /** Tells the user that something they asked for didn't happen, and why. Shows an
        asynchronous message box; tests put their own here. */
    std::function<void (const juce::String& title, const juce::String& message)> tellUser;

    /** Tells the user, when the processor found at start that the data folder can't be
        made or written to, that cue points and loops won't be kept, where and why. The
        editor calls it once, soon after it is made. */
    void tellAboutDataFolder();

    //==============================================================================
    ConfigFile config { "Velorin" };
    juce::AudioFormatManager formatManager;
    DravikLightLookAndFeel lookAndFeel;
    std::unique_ptr<WaveformView> waveform;
    std::unique_ptr<juce::TableListBox> playlist;
    std::unique_ptr<juce::TextButton> addPathButton;
    std::unique_ptr<juce::TextButton> addFileButton;
    std::unique_ptr<juce::TextButton> deleteButton;
    std::unique_ptr<juce::TextButton> clearButton;
    std::unique_ptr<juce::TextButton> loadButton;
    std::unique_ptr<juce::TextButton> saveButton;
    EffectsComponent effects;
    int lastShownIndex = -1;
    juce::WeakReference<PlaylistEntry> lastShownEntry;   // the entry the views show, gone once deleted

private:
    ReplayProcessor& getProcessor() const;
    PlaylistEntry* entryAt (int row) const;

    /** Writes the playlist file, telling the user when it wasn't written. */
    void save (const juce::File& file);

    /** Opens the framework's file chooser; `chosen` runs only when the user confirms. */
    void launchChooser (const juce::String& title, const juce::String& key, const juce::String& patterns,
                        int browserFlags, std::function<void (const juce::File&)> chosen);

    std::unique_ptr<juce::FileChooser> chooser;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ReplayProcessorEditor)
};
