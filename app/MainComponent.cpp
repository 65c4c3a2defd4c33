#include "app/MainComponent.h"
#include "app/AudioSetupPage.h"
#include "ui/ReplayProcessorEditor.h"

MainComponent::MainComponent()
{
    setLookAndFeel (&lookAndFeel);

    const auto audioProblem = openAudioDevice (deviceManager);

    processor = std::make_unique<ReplayProcessor>();
    editor.reset (processor->createEditor());

    // The tab component resizes what it shows to its content area, so the editor's own
    // size is taken first.
    const auto editorWidth = editor->getWidth();
    const auto editorHeight = editor->getHeight();
    const auto tabColour = findColour (DravikLightLookAndFeel::mainBackgroundColourId, false);

    tabs = std::make_unique<juce::TabbedComponent> (juce::TabbedButtonBar::TabsAtTop);
    addAndMakeVisible (*tabs);
    tabs->setSize (editorWidth, editorHeight + 30);
    tabs->setTabBarDepth (30);
    tabs->addTab ("Velorin", tabColour, editor.get(), true, -1);
    tabs->addTab ("Audio Setup", tabColour, new AudioSetupPage (deviceManager, audioProblem), true, -1);
    tabs->setCurrentTabIndex (0);

    player.setProcessor (processor.get());
    deviceManager.addAudioCallback (&player);
    deviceManager.addMidiInputDeviceCallback ({}, &player.getMidiMessageCollector());

    constrainer.setMinimumSize (800, 600);
    resizer = std::make_unique<juce::ResizableCornerComponent> (this, &constrainer);
    addAndMakeVisible (*resizer);

    setSize (editorWidth, editorHeight + 30);
}

MainComponent::~MainComponent()
{
    // The audio thread and every MIDI input leave the player before anything goes.
    deviceManager.removeAudioCallback (&player);
    deviceManager.removeMidiInputDeviceCallback ({}, &player.getMidiMessageCollector());
    player.setProcessor (nullptr);

    editor = nullptr;
    resizer = nullptr;
    processor = nullptr;
    tabs = nullptr;

    setLookAndFeel (nullptr);
}

juce::String MainComponent::openAudioDevice (juce::AudioDeviceManager& manager)
{
    auto error = manager.initialise (2, 2, nullptr, true, {}, nullptr);

    // ALSA fails the whole device when its capture side fails; playing needs only the output.
    if (manager.getCurrentAudioDevice() == nullptr)
        if (const auto outputError = manager.initialise (0, 2, nullptr, true, {}, nullptr); outputError.isNotEmpty())
            error = outputError;

    if (manager.getCurrentAudioDevice() != nullptr)
        return {};

    // Without a sound card the framework may report nothing at all.
    return TRANS ("No audio output could be opened:") + " "
         + (error.isNotEmpty() ? error : TRANS ("no audio device was found."));
}

void MainComponent::writeDataFiles()
{
    if (auto* playerEditor = dynamic_cast<ReplayProcessorEditor*> (editor.get()))
        playerEditor->config.write();

    if (processor != nullptr)
        processor->writeDataFiles();
}

void MainComponent::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colour (0xffc1d0ff));
}

void MainComponent::resized()
{
    const auto w = getWidth();
    const auto h = getHeight();

    if (tabs != nullptr)
        tabs->setBounds (0, 0, w, h);

    if (resizer != nullptr)
        resizer->setBounds (w - 12, h - 12, 12, 12);
}
