#include "TestKit.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);

    // Headless unless a display is given: JUCE would otherwise connect to ":0", which may be
    // another test's short-lived Xvfb, and Xlib ends a client whose server goes away.
    setenv ("DISPLAY", getenv ("DISPLAY") != nullptr ? getenv ("DISPLAY") : "none", 1);

    // Lets JUCE install its own X error handler when a test opens a real window.
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return nullptr; };

    // Untolerated assertions reach stderr, where ctest looks for "JUCE Assertion failure".
    const testkit::AssertionCheck assertions;
    const juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
