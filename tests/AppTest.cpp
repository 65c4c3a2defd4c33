#include "VelorinTest.h"
#include "app/AudioSetupPage.h"
#include "app/MainComponent.h"

using namespace juce;

using HostInterfaceTest = VelorinTest;
using MainComponentTest = VelorinTest;

TEST_F (HostInterfaceTest, TheStateBlobRoundTripsAndOnlyItsOwnTagIsRead)
{
    ReplayProcessor processor;
    processor.uiWidth = 1024;
    processor.uiHeight = 640;
    processor.gain = 0.25f;
    processor.delay = 3.0f;
    MemoryBlock blob;
    processor.getStateInformation (blob);
    const auto xml = AudioProcessor::getXmlFromBinary (blob.getData(), (int) blob.getSize());
    ASSERT_NE (xml, nullptr);
    note ("state", xml->toString (XmlElement::TextFormat().singleLine().withoutHeader()));

    ReplayProcessor restored;   // in the same HOME
    const auto restore = [&] (const String& what, const MemoryBlock& data)
    {
        restored.setStateInformation (data.getData(), (int) data.getSize());
        note (what, String (restored.uiWidth) + " x " + String (restored.uiHeight) + ", gain "
                        + String (restored.gain.load()) + ", delay " + String (restored.delay.load()));
    };
    restore ("restored", blob);

    for (auto text : { "<MYPLUGINSETTINGS delay='1.5'/>", "<OTHER delay='9'/>" })
    {
        MemoryBlock other;
        AudioProcessor::copyXmlToBinary (*parseXML (text), other);
        restore (text, other);
    }
}

TEST_F (MainComponentTest, LooksAsTheReferenceKeepsItsMinimumSizeAndBuildsTheSetupPageOnlyWhileShown)
{
    MainComponent main;
    EXPECT_TRUE (matchesReference (main.createComponentSnapshot (main.getLocalBounds()), "main-component.png"));

    auto bounds = Rectangle<int> (0, 0, 500, 300);
    main.constrainer.checkBounds (bounds, main.getBounds(), {}, false, false, true, true);
    EXPECT_EQ (bounds, Rectangle<int> (0, 0, 800, 600)) << "dragged below the minimum";

    // The device selector (and its input meter) exists only while its tab is shown.
    auto* page = dynamic_cast<AudioSetupPage*> (main.tabs->getTabContentComponent (1));
    ASSERT_NE (page, nullptr);
    main.tabs->setCurrentTabIndex (1);
    EXPECT_NE (page->selector, nullptr) << "shown";
    main.tabs->setCurrentTabIndex (0);
    EXPECT_EQ (page->selector, nullptr) << "hidden again";
}
