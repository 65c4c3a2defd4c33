#pragma once

#include "app/HelloWorldWindow.h"

/** The application object: opens the main window at start and deletes it at shutdown,
    which makes the player write its data files. Several copies may run at once. */
class JUCEHelloWorldApplication : public juce::JUCEApplication
{
public:
    JUCEHelloWorldApplication();
    ~JUCEHelloWorldApplication() override;

    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override;
    void initialise (const juce::String& commandLine) override;
    void shutdown() override;
    void anotherInstanceStarted (const juce::String& commandLine) override;
    void systemRequestedQuit() override;
    void suspended() override;
    void resumed() override;
    void unhandledException (const std::exception*, const juce::String& sourceFilename, int lineNumber) override;

    std::unique_ptr<HelloWorldWindow> mainWindow;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (JUCEHelloWorldApplication)
};

/** The factory the program entry hands to the framework. */
juce::JUCEApplicationBase* createApplication();
