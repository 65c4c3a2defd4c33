#include "TestSupport.h"
#include "app/AudioSetupPage.h"

// Hidden, the device selector's input meter would poll and keep the audio thread measuring.
class AudioSetupPageTest : public TempHomeTest {};

TEST_F (AudioSetupPageTest, SelectorExistsOnlyWhileShown)
{
    juce::AudioDeviceManager manager;
    AudioSetupPage page (manager);
    EXPECT_EQ (page.selector, nullptr);
    page.setVisible (true);
    ASSERT_NE (page.selector, nullptr);
    EXPECT_EQ (page.selector->getBounds().withHeight (1), juce::Rectangle<int> (8, 8, 584, 1));   // it sets its height
    page.setVisible (false);
    EXPECT_EQ (page.selector, nullptr);
}
