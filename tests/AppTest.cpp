#include "VelorinTest.h"
#include "app/AudioSetupPage.h"
#include "app/MainComponent.h"

using namespace juce;

using HostInterfaceTest = VelorinTest;
using MainComponentTest = VelorinTest;

TEST_F (HostInterfaceTest, TheStateBlobRoundTrips)
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
    restored.setStateInformation (blob.getData(), (int) blob.getSize());
    MemoryBlock again;
    restored.getStateInformation (again);
    EXPECT_EQ (again, blob) << "the state of the restored processor";
}

TEST_F (MainComponentTest, LooksAsTheReferenceAndBuildsTheSetupPageOnlyWhileShown)
{
    MainComponent main;
    EXPECT_TRUE (matchesReference (main.createComponentSnapshot (main.getLocalBounds()), "main-component.png"));

    // The device selector (and its input meter) exists only while its tab is shown.
    auto* page = dynamic_cast<AudioSetupPage*> (main.tabs->getTabContentComponent (1));
    ASSERT_NE (page, nullptr);
    main.tabs->setCurrentTabIndex (1);
    EXPECT_NE (page->selector, nullptr) << "shown";
    main.tabs->setCurrentTabIndex (0);
    EXPECT_EQ (page->selector, nullptr) << "hidden again";
}
