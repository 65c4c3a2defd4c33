#include "VelorinTest.h"
#include "app/AudioSetupPage.h"
#include "app/JUCEHelloWorldApplication.h"
#include "app/MainComponent.h"
#include "ui/ReplayProcessorEditor.h"

// The host-facing processor interface, and the application shell: headless, and on a real,
// real-time paced audio device (a JACK server on its dummy back end).

using HostInterfaceTest = VelorinTest;

TEST_F (HostInterfaceTest, ParametersProgramsStateAndEditor)
{
    ReplayProcessor processor;
    processor.addFile (audioFile ("a.wav"));
    JUCE_BEGIN_IGNORE_WARNINGS_GCC_LIKE ("-Wdeprecated-declarations")
    const auto describe = [&] (ReplayProcessor& p)
    {
        juce::String text;
        text << p.getName() << ", " << p.getNumParameters() << " parameters:";
        for (int i = 0; i < 3; ++i)
            text << " \"" << p.getParameterName (i) << "\" " << p.getParameterText (i) << " (" << p.getParameter (i) << ")";
        text << ", channels " << p.getInputChannelName (0) << " " << p.getOutputChannelName (5) << (p.isOutputChannelStereoPair (3) ? " paired" : "")
             << ", programs " << p.getNumPrograms() << " \"" << p.getProgramName (0).replace (audio.getFullPathName(), "~/audio") << "\" \"" << p.getProgramName (1)
             << "\", midi " << (int) p.acceptsMidi() << ", editor " << (int) p.hasEditor() << ", ui " << p.uiWidth << "x" << p.uiHeight << ", volume " << p.volume.load();
        return text;
    };
    note ("new", describe (processor));
    for (auto [index, value] : { std::pair (1, 3.0f), { 0, 0.0f }, { 7, 9.0f } })   // not clamped; gain is not the output level
        processor.setParameter (index, value), note ("parameter " + juce::String (index) + " set to " + juce::String (value), describe (processor));
    JUCE_END_IGNORE_WARNINGS_GCC_LIKE

    // The state blob: MYPLUGINSETTINGS with uiWidth, uiHeight, gain and delay; only the tag is checked.
    processor.uiWidth = 1024;
    processor.uiHeight = 640;
    processor.setParameter (0, 0.25f);
    juce::MemoryBlock state;
    processor.getStateInformation (state);
    note ("state", juce::AudioProcessor::getXmlFromBinary (state.getData(), (int) state.getSize())->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader()));
    ReplayProcessor restored;
    for (auto tag : { "", "MYPLUGINSETTINGS", "OTHER", "myPluginSettings", "garbage" })
    {
        if (tag[0] != 0)
        {
            juce::XmlElement element (tag);
            element.setAttribute ("delay", juce::String (tag) == "MYPLUGINSETTINGS" ? 1.5 : 9.0);
            juce::AudioProcessor::copyXmlToBinary (element, state);
        }
        if (juce::String (tag) == "garbage")
            state.replaceAll ("\x21\x43\x50\x56\x10\x00\x00\x00<notxml", 16);
        restored.setStateInformation (state.getData(), (int) state.getSize());
        note (juce::String ("state restored from ") + (tag[0] != 0 ? tag : "the blob"), describe (restored));
    }
    restored.setStateInformation (state.getData(), 4);
    restored.setStateInformation (nullptr, 0);
    note ("too few bytes", describe (restored));

    std::unique_ptr<juce::AudioProcessorEditor> editor (processor.createEditor());
    ASSERT_NE (dynamic_cast<ReplayProcessorEditor*> (editor.get()), nullptr);
    EXPECT_EQ (editor->getBounds(), juce::Rectangle<int> (0, 0, 1024, 640));   // the stored size
}

class MainComponentTest : public VelorinTest
{
protected:
    std::unique_ptr<MainComponent> main = std::make_unique<MainComponent>();
};

TEST_F (MainComponentTest, TabsSizesColoursAndApplication)
{
    EXPECT_EQ (main->getBounds(), juce::Rectangle<int> (0, 0, 800, 530));
    auto& tabs = *main->tabs;
    EXPECT_EQ (tabs.getTabNames(), juce::StringArray ({ "Velorin", "Audio Setup" }));
    EXPECT_EQ (tabs.getCurrentTabIndex(), 0);
    EXPECT_EQ (tabs.getTabBarDepth(), 30);
    EXPECT_EQ (tabs.getTabContentComponent (0), main->editor.get());
    EXPECT_NE (dynamic_cast<AudioSetupPage*> (tabs.getTabContentComponent (1)), nullptr);
    EXPECT_TRUE (tabs.getTabBackgroundColour (0) == juce::Colour (0xff102030) && tabs.getTabBackgroundColour (1) == juce::Colour (0xff102030));
    EXPECT_EQ (&main->getLookAndFeel(), &main->lookAndFeel);
    EXPECT_EQ (main->player.getCurrentProcessor(), main->processor.get());

    // Tabs 120 wide, the current one lit; beyond them the main component's background; the editor.
    EXPECT_TRUE (matchesReference (main->createComponentSnapshot (main->getLocalBounds()), "main-component.png"));

    // The resize corner keeps 800 x 600 at least.
    EXPECT_EQ (main->resizer->getBounds(), juce::Rectangle<int> (788, 518, 12, 12));
    auto bounds = juce::Rectangle<int> (0, 0, 500, 300);
    main->constrainer.checkBounds (bounds, main->getBounds(), {}, false, false, true, true);
    EXPECT_EQ (bounds.getWidth() * 1000 + bounds.getHeight(), 800600);
    main->setSize (1000, 700);
    EXPECT_EQ (main->tabs->getBounds(), juce::Rectangle<int> (0, 0, 1000, 700));
    EXPECT_EQ (main->resizer->getBounds(), juce::Rectangle<int> (988, 688, 12, 12));
    EXPECT_GT (main->editor->getWidth(), 990);

    std::unique_ptr<juce::JUCEApplicationBase> app (createApplication());
    auto* application = dynamic_cast<JUCEHelloWorldApplication*> (app.get());
    ASSERT_NE (application, nullptr);
    EXPECT_EQ (application->getApplicationName() + " " + application->getApplicationVersion(), "Velorin 1.0.0");
    EXPECT_TRUE (application->moreThanOneInstanceAllowed());
    EXPECT_EQ (application->mainWindow, nullptr);
}

TEST_F (MainComponentTest, ShutdownWritesTheThreeDataFilesSettingsFirst)
{
    dynamic_cast<ReplayProcessorEditor&> (*main->editor).addFileChosen (audioFile ("song.wav"));
    main->processor->playlist[0]->cue = 0.75f;
    main->processor->midiMap.mappings[2].message = "90 3c 7f";
    main.reset();
    EXPECT_TRUE (dataFile (".config").loadFileAsString().contains ("LastUsedFile"));
    EXPECT_TRUE (dataFile ("data.xml").loadFileAsString().contains ("cue=\"0.75\""));
    EXPECT_TRUE (dataFile ("midi.map").loadFileAsString().contains ("midi-2=\"90 3c 7f\""));
    EXPECT_LE (dataFile (".config").getLastModificationTime(), dataFile ("data.xml").getLastModificationTime());
}

class AudioDeviceTest : public VelorinTest
{
protected:
    testkit::JackServer jack;
    std::unique_ptr<MainComponent> main = std::make_unique<MainComponent>();
};

TEST_F (AudioDeviceTest, PlaysInRealTimeAndShutsDownCleanlyWhilePlaying)
{
    ASSERT_TRUE (jack.ready) << "the JACK dummy server " << jack.name << " did not start";
    if (auto* device = main->deviceManager.getCurrentAudioDevice(); device == nullptr || device->getTypeName() != "JACK")
        main->deviceManager.setCurrentAudioDeviceType ("JACK", true);   // with a sound card, choose JACK
    auto* device = main->deviceManager.getCurrentAudioDevice();
    ASSERT_NE (device, nullptr);
    EXPECT_EQ (device->getTypeName(), "JACK");
    EXPECT_EQ (device->getCurrentSampleRate(), 48000.0);

    auto& editor = dynamic_cast<ReplayProcessorEditor&> (*main->editor);
    editor.addFileChosen (audioFile ("ten.wav", 44100.0, 2, 10.0, 16));
    auto& processor = *main->processor;
    auto& entry = *processor.playlist[0];
    editor.effects.buttonClicked (editor.effects.playButton.get());
    ASSERT_FALSE (processor.paused);
    for (int i = 0; i < 200 && processor.getEntryPositionSeconds (entry) <= 0.0f; ++i)
        juce::Thread::sleep (10);

    const auto startTime = juce::Time::getMillisecondCounterHiRes();
    const auto startPosition = processor.getEntryPositionSeconds (entry);
    ASSERT_GT (startPosition, 0.0f) << "the device never called the processor";
    juce::Thread::sleep (1500);
    const auto elapsed = (juce::Time::getMillisecondCounterHiRes() - startTime) / 1000.0;
    const auto played = (double) (processor.getEntryPositionSeconds (entry) - startPosition);
    EXPECT_NEAR (played / elapsed, 1.0, 0.15) << played << " s played in " << elapsed << " s";

    entry.cue = 0.5f;
    main.reset();   // while playing
    EXPECT_TRUE (dataFile ("data.xml").loadFileAsString().contains ("cue=\"0.5\""));
}
