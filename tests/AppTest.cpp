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
    JUCE_BEGIN_IGNORE_WARNINGS_GCC_LIKE ("-Wdeprecated-declarations")
    EXPECT_EQ (processor.getNumParameters(), 2);
    EXPECT_EQ (processor.getParameterName (0) + processor.getParameterName (1) + processor.getParameterName (2), "gaindelay");
    EXPECT_EQ (processor.getParameterText (0) + processor.getParameterText (1) + processor.getParameterText (2), "1.000.500.00");
    processor.setParameter (1, 3.0f);   // not clamped
    EXPECT_EQ (processor.getParameter (1), 3.0f);
    processor.setParameter (0, 0.0f);
    EXPECT_EQ (processor.gain, 0.0f);
    EXPECT_EQ (processor.volume, 1.0f);   // gain is not the output level
    processor.setParameter (7, 9.0f);
    EXPECT_EQ (processor.getParameter (7), 0.0f);
    EXPECT_EQ (processor.getInputChannelName (0) + processor.getOutputChannelName (5), "16");
    EXPECT_TRUE (processor.isOutputChannelStereoPair (3));
    JUCE_END_IGNORE_WARNINGS_GCC_LIKE
    EXPECT_EQ (processor.getName(), "Velorin");
    EXPECT_FALSE (processor.acceptsMidi());
    EXPECT_EQ (processor.getNumPrograms(), 0);
    processor.addFile (audioFile ("a.wav"));
    EXPECT_EQ (processor.getProgramName (0), audio.getChildFile ("a.wav").getFullPathName());
    EXPECT_EQ (processor.getProgramName (1), "");

    // The state blob: MYPLUGINSETTINGS with uiWidth, uiHeight, gain and delay.
    processor.uiWidth = 1024;
    processor.uiHeight = 640;
    processor.gain = 0.25f;
    processor.delay = 2.0f;
    juce::MemoryBlock state;
    processor.getStateInformation (state);
    const auto xml = juce::AudioProcessor::getXmlFromBinary (state.getData(), (int) state.getSize());
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (xml->getTagName(), "MYPLUGINSETTINGS");
    EXPECT_EQ (xml->getAttributeName (0) + xml->getAttributeName (3), "uiWidthdelay");
    ReplayProcessor restored;
    restored.setStateInformation (state.getData(), (int) state.getSize());
    EXPECT_TRUE (restored.uiWidth == 1024 && restored.uiHeight == 640 && restored.gain == 0.25f && restored.delay == 2.0f);

    // Only "delay" changes only the delay; another tag, garbage or too few bytes change nothing.
    for (auto tag : { "MYPLUGINSETTINGS", "OTHER", "myPluginSettings" })
    {
        juce::XmlElement element (tag);
        element.setAttribute ("delay", tag[1] == 'Y' ? 1.5 : 9.0);
        juce::AudioProcessor::copyXmlToBinary (element, state);
        restored.setStateInformation (state.getData(), (int) state.getSize());
    }
    const char garbage[] = "\x21\x43\x50\x56\x10\x00\x00\x00<notxml";
    restored.setStateInformation (garbage, (int) sizeof (garbage));
    restored.setStateInformation (garbage, 4);
    restored.setStateInformation (nullptr, 0);
    EXPECT_EQ (restored.delay, 1.5f);
    EXPECT_EQ (restored.uiWidth, 1024);

    EXPECT_TRUE (processor.hasEditor());
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

    // Tabs are 120 wide; beyond them the main component's background shows; then the editor.
    const auto image = main->createComponentSnapshot (main->getLocalBounds());
    EXPECT_NE (image.getPixelAt (60, 8), juce::Colour (0xffc1d0ff));
    EXPECT_NE (image.getPixelAt (180, 8), juce::Colour (0xffc1d0ff));
    EXPECT_EQ (image.getPixelAt (400, 15), juce::Colour (0xffc1d0ff));
    EXPECT_EQ (image.getPixelAt (600, 45), juce::Colour (0xff102030));

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
