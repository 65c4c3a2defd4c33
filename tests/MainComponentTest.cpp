#include "TestSupport.h"
#include "app/AudioSetupPage.h"
#include "app/JUCEHelloWorldApplication.h"
#include "app/MainComponent.h"
#include "ui/ReplayProcessorEditor.h"

// The host-facing processor interface and the application shell, headless.

using HostInterfaceTest = TempHomeTest;

TEST_F (HostInterfaceTest, ParametersChannelsAndPrograms)
{
    ReplayProcessor processor;

    JUCE_BEGIN_IGNORE_WARNINGS_GCC_LIKE ("-Wdeprecated-declarations")
    EXPECT_EQ (processor.getNumParameters(), 2);
    EXPECT_EQ (processor.getParameterName (0), "gain");
    EXPECT_EQ (processor.getParameterName (1), "delay");
    EXPECT_EQ (processor.getParameterName (2), "");
    EXPECT_EQ (processor.getParameterText (0), "1.00");
    EXPECT_EQ (processor.getParameterText (1), "0.50");
    EXPECT_EQ (processor.getParameterText (2), "0.00");

    processor.setParameter (1, 3.0f);   // not clamped
    EXPECT_EQ (processor.delay, 3.0f);
    EXPECT_EQ (processor.getParameter (1), 3.0f);
    processor.setParameter (0, 0.0f);
    EXPECT_EQ (processor.gain, 0.0f);
    EXPECT_EQ (processor.volume, 1.0f);   // gain is not the output level
    processor.setParameter (7, 9.0f);
    EXPECT_EQ (processor.getParameter (7), 0.0f);

    EXPECT_EQ (processor.getInputChannelName (0), "1");
    EXPECT_EQ (processor.getOutputChannelName (5), "6");
    EXPECT_TRUE (processor.isOutputChannelStereoPair (3));
    JUCE_END_IGNORE_WARNINGS_GCC_LIKE

    EXPECT_EQ (processor.getName(), "Velorin");
    EXPECT_FALSE (processor.acceptsMidi());
    EXPECT_TRUE (processor.hasEditor());
    EXPECT_EQ (processor.getNumPrograms(), 0);
    EXPECT_EQ (processor.getProgramName (0), "");

    const auto file = audioFolder().getChildFile ("a.wav");
    testaudio::write (file, 8000.0, 1, 800, 16);
    processor.addFile (file);
    EXPECT_EQ (processor.getProgramName (0), file.getFullPathName());
    EXPECT_EQ (processor.getProgramName (1), "");
}

TEST_F (HostInterfaceTest, StateBlobRoundTripsAndIgnoresOtherData)
{
    ReplayProcessor processor;
    processor.uiWidth = 1024;
    processor.uiHeight = 640;
    processor.gain = 0.25f;
    processor.delay = 2.0f;

    juce::MemoryBlock state;
    processor.getStateInformation (state);
    const auto xml = juce::AudioProcessor::getXmlFromBinary (state.getData(), (int) state.getSize());
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (xml->getTagName(), "MYPLUGINSETTINGS");
    EXPECT_EQ (xml->getAttributeName (0), "uiWidth");
    EXPECT_EQ (xml->getAttributeName (3), "delay");

    ReplayProcessor restored;
    restored.setStateInformation (state.getData(), (int) state.getSize());
    EXPECT_EQ (restored.uiWidth, 1024);
    EXPECT_EQ (restored.uiHeight, 640);
    EXPECT_EQ (restored.gain, 0.25f);
    EXPECT_EQ (restored.delay, 2.0f);

    // Only "delay": the rest stays.
    juce::MemoryBlock partial;
    juce::XmlElement onlyDelay ("MYPLUGINSETTINGS");
    onlyDelay.setAttribute ("delay", 1.5);
    juce::AudioProcessor::copyXmlToBinary (onlyDelay, partial);
    restored.setStateInformation (partial.getData(), (int) partial.getSize());
    EXPECT_EQ (restored.delay, 1.5f);
    EXPECT_EQ (restored.uiWidth, 1024);

    // Another tag, a case-changed tag, garbage and too few bytes change nothing.
    for (auto tag : { "OTHER", "myPluginSettings" })
    {
        juce::MemoryBlock other;
        juce::XmlElement element (tag);
        element.setAttribute ("delay", 9.0);
        juce::AudioProcessor::copyXmlToBinary (element, other);
        restored.setStateInformation (other.getData(), (int) other.getSize());
    }

    const char garbage[] = "\x21\x43\x50\x56\x10\x00\x00\x00<notxml";
    restored.setStateInformation (garbage, (int) sizeof (garbage));
    restored.setStateInformation (garbage, 4);
    restored.setStateInformation (nullptr, 0);
    EXPECT_EQ (restored.delay, 1.5f);
}

TEST_F (HostInterfaceTest, EditorIsThePlayerScreen)
{
    ReplayProcessor processor;
    std::unique_ptr<juce::AudioProcessorEditor> editor (processor.createEditor());
    ASSERT_NE (dynamic_cast<ReplayProcessorEditor*> (editor.get()), nullptr);
    EXPECT_EQ (editor->getWidth(), 800);
    EXPECT_EQ (editor->getHeight(), 500);
}

//==============================================================================
class MainComponentTest : public TempHomeTest
{
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        main = std::make_unique<MainComponent>();
    }

    void TearDown() override
    {
        main.reset();
        TempHomeTest::TearDown();
    }

    std::unique_ptr<MainComponent> main;
};

TEST_F (MainComponentTest, TabsSizeAndColours)
{
    EXPECT_EQ (main->getWidth(), 800);
    EXPECT_EQ (main->getHeight(), 530);

    auto& tabs = *main->tabs;
    ASSERT_EQ (tabs.getNumTabs(), 2);
    EXPECT_EQ (tabs.getTabNames(), juce::StringArray ({ "Velorin", "Audio Setup" }));
    EXPECT_EQ (tabs.getCurrentTabIndex(), 0);
    EXPECT_EQ (tabs.getTabBarDepth(), 30);
    EXPECT_EQ (tabs.getTabContentComponent (0), main->editor.get());
    EXPECT_NE (dynamic_cast<AudioSetupPage*> (tabs.getTabContentComponent (1)), nullptr);

    for (int i = 0; i < 2; ++i)
        EXPECT_EQ (tabs.getTabBackgroundColour (i), juce::Colour (0xff102030));

    EXPECT_EQ (&main->getLookAndFeel(), &main->lookAndFeel);
    EXPECT_EQ (main->player.getCurrentProcessor(), main->processor.get());

    // The tab bar and the page are painted in the application's colours.
    const auto image = main->createComponentSnapshot (main->getLocalBounds());
    // Tabs are 120 wide; beyond them the main component's background shows.
    EXPECT_NE (image.getPixelAt (60, 8), juce::Colour (0xffc1d0ff));
    EXPECT_NE (image.getPixelAt (180, 8), juce::Colour (0xffc1d0ff));
    EXPECT_EQ (image.getPixelAt (400, 15), juce::Colour (0xffc1d0ff));
    EXPECT_EQ (image.getPixelAt (600, 45), juce::Colour (0xff102030));    // the editor, right of its buttons
}

TEST_F (MainComponentTest, ResizeCornerKeepsTheMinimum)
{
    EXPECT_EQ (main->resizer->getBounds(), juce::Rectangle<int> (788, 518, 12, 12));
    EXPECT_EQ (main->constrainer.getMinimumWidth(), 800);
    EXPECT_EQ (main->constrainer.getMinimumHeight(), 600);

    auto bounds = juce::Rectangle<int> (0, 0, 500, 300);
    main->constrainer.checkBounds (bounds, main->getBounds(), {}, false, false, true, true);
    EXPECT_EQ (bounds.getWidth(), 800);
    EXPECT_EQ (bounds.getHeight(), 600);

    main->setSize (1000, 700);
    EXPECT_EQ (main->tabs->getBounds(), juce::Rectangle<int> (0, 0, 1000, 700));
    EXPECT_EQ (main->resizer->getBounds(), juce::Rectangle<int> (988, 688, 12, 12));
    EXPECT_GT (main->editor->getWidth(), 990);
}

TEST_F (MainComponentTest, ShutdownWritesTheThreeDataFiles)
{
    const auto file = audioFolder().getChildFile ("song.wav");
    testaudio::write (file, 8000.0, 1, 8000, 16);

    auto* editor = dynamic_cast<ReplayProcessorEditor*> (main->editor.get());
    ASSERT_NE (editor, nullptr);
    editor->addFileChosen (file);
    main->processor->playlist[0]->cue = 0.75f;
    main->processor->midiMap.mappings[2].message = "90 3c 7f";

    main.reset();

    const auto folder = dataFolder();
    EXPECT_TRUE (folder.getChildFile (".config").loadFileAsString().contains ("LastUsedFile"));
    EXPECT_TRUE (folder.getChildFile ("data.xml").loadFileAsString().contains ("cue=\"0.75\""));
    EXPECT_TRUE (folder.getChildFile ("midi.map").loadFileAsString().contains ("midi-2=\"90 3c 7f\""));

    // The settings go first: the editor is deleted before the processor.
    EXPECT_LE (folder.getChildFile (".config").getLastModificationTime(),
               folder.getChildFile ("data.xml").getLastModificationTime());
}

TEST_F (MainComponentTest, ApplicationAnswers)
{
    std::unique_ptr<juce::JUCEApplicationBase> app (createApplication());
    auto* application = dynamic_cast<JUCEHelloWorldApplication*> (app.get());
    ASSERT_NE (application, nullptr);
    EXPECT_EQ (application->getApplicationName(), "Velorin");
    EXPECT_EQ (application->getApplicationVersion(), "1.0.0");
    EXPECT_TRUE (application->moreThanOneInstanceAllowed());
    EXPECT_EQ (application->mainWindow, nullptr);
}
