#include "VelorinTest.h"
#include "app/AudioSetupPage.h"
#include "app/JUCEHelloWorldApplication.h"
#include "app/MainComponent.h"
#include "ui/ReplayProcessorEditor.h"
// The host-facing processor interface, and the application shell on a real-time paced JACK dummy device.
using HostInterfaceTest = VelorinTest;
using MainComponentTest = VelorinTest;
TEST_F (HostInterfaceTest, ParametersProgramsStateAndEditor)
{
    ReplayProcessor processor, restored;
    processor.addFile (audioFile ("a.wav"));
    JUCE_BEGIN_IGNORE_WARNINGS_GCC_LIKE ("-Wdeprecated-declarations")
    const auto describe = [&] (ReplayProcessor& p)
    {
        auto text = p.getName() + ", " + juce::String (p.getNumParameters()) + " parameters:";
        for (int i = 0; i < 3; ++i)
            text << " \"" << p.getParameterName (i) << "\" " << p.getParameterText (i) << " (" << p.getParameter (i) << ")";
        return text << ", channels " << p.getInputChannelName (0) << " " << p.getOutputChannelName (5) << (p.isOutputChannelStereoPair (3) ? " paired" : "")
                    << ", programs " << p.getNumPrograms() << " \"" << p.getProgramName (0).replace (audio.getFullPathName(), "~/audio") << "\" \"" << p.getProgramName (1)
                    << "\", midi " << (int) p.acceptsMidi() << ", editor " << (int) p.hasEditor() << ", ui " << p.uiWidth << "x" << p.uiHeight << ", volume " << p.volume.load();
    };
    note ("new", describe (processor));
    for (auto [index, value] : { std::pair (1, 3.0f), { 0, 0.0f }, { 7, 9.0f } })   // not clamped; gain is not the output level
        processor.setParameter (index, value), note ("parameter " + juce::String (index) + " set to " + juce::String (value), describe (processor));
    JUCE_END_IGNORE_WARNINGS_GCC_LIKE
    // The state blob: MYPLUGINSETTINGS with uiWidth, uiHeight, gain and delay; only the tag is checked.
    processor.uiWidth = 1024, processor.uiHeight = 640, processor.setParameter (0, 0.25f);
    juce::MemoryBlock state;
    processor.getStateInformation (state);
    note ("state", juce::AudioProcessor::getXmlFromBinary (state.getData(), (int) state.getSize())->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader()));
    const auto blob = [] (const char* xml) { juce::MemoryBlock b; juce::AudioProcessor::copyXmlToBinary (*juce::parseXML (xml), b); return b; };
    for (auto& [what, data] : { std::pair<juce::String, juce::MemoryBlock> ("state restored from the blob", state), { "state restored from MYPLUGINSETTINGS", blob ("<MYPLUGINSETTINGS delay='1.5'/>") },
                                { "state restored from OTHER", blob ("<OTHER delay='9'/>") }, { "state restored from myPluginSettings", blob ("<myPluginSettings delay='9'/>") },
                                { "state restored from garbage", { "\x21\x43\x50\x56\x10\x00\x00\x00<notxml", 16 } }, { "too few bytes", { state.getData(), 4 } } })
        restored.setStateInformation (data.getData(), (int) data.getSize()), note (what, describe (restored));
    const std::unique_ptr<juce::AudioProcessorEditor> editor (processor.createEditor());
    EXPECT_TRUE (dynamic_cast<ReplayProcessorEditor*> (editor.get()) != nullptr && editor->getBounds() == juce::Rectangle<int> (0, 0, 1024, 640));   // at the stored size
}
TEST_F (MainComponentTest, TabsSizesColoursAndApplication)
{
    auto main = std::make_unique<MainComponent>();
    auto& tabs = *main->tabs;
    EXPECT_EQ (tabs.getTabNames(), juce::StringArray ({ "Velorin", "Audio Setup" }));
    EXPECT_TRUE (tabs.getTabContentComponent (0) == main->editor.get() && tabs.getTabBackgroundColour (1) == juce::Colour (0xff102030));
    EXPECT_TRUE (&main->getLookAndFeel() == &main->lookAndFeel && main->player.getCurrentProcessor() == main->processor.get());
    auto* page = dynamic_cast<AudioSetupPage*> (tabs.getTabContentComponent (1));   // its selector (and meter) only while shown
    ASSERT_NE (page, nullptr);
    tabs.setCurrentTabIndex (1);
    const bool shownWithSelector = page->selector != nullptr && page->selector->getWidth() == page->getWidth() - 16;
    tabs.setCurrentTabIndex (0);
    EXPECT_TRUE (shownWithSelector && page->selector == nullptr);
    // 800 x 530: tabs 120 wide on a bar 30 deep, the current one lit; the background beyond; the editor; the resize corner.
    EXPECT_TRUE (matchesReference (main->createComponentSnapshot (main->getLocalBounds()), "main-component.png"));
    auto bounds = juce::Rectangle<int> (0, 0, 500, 300);
    main->constrainer.checkBounds (bounds, main->getBounds(), {}, false, false, true, true);
    main->setSize (1000, 700);
    EXPECT_EQ (bounds.toString() + ", " + tabs.getBounds().toString() + ", " + main->resizer->getBounds().toString(), "0 0 800 600, 0 0 1000 700, 988 688 12 12");
    const std::unique_ptr<juce::JUCEApplicationBase> app (createApplication());
    auto* application = dynamic_cast<JUCEHelloWorldApplication*> (app.get());
    ASSERT_TRUE (application != nullptr && application->moreThanOneInstanceAllowed() && application->mainWindow == nullptr);
    EXPECT_EQ (application->getApplicationName() + " " + application->getApplicationVersion(), "Velorin 1.0.0");
}
