#pragma once

#include "app/HelloWorldWindow.h"
#include "app/TerminationSignals.h"

/** The application object: opens the main window at start and deletes it at shutdown,
    having had the player write its data files. SIGTERM and SIGHUP quit it as closing
    the window does. Several copies may run at once. */
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

    /** Writes the player's data files for the end of the run, making no X call, once:
        whichever comes first of shutdown() and a lost display writes them, the other finds
        them written. Returns false when an earlier call wrote them. */
    static bool saveDataFiles();

    std::unique_ptr<HelloWorldWindow> mainWindow;
    std::unique_ptr<TerminationSignals> terminationSignals;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (JUCEHelloWorldApplication)
};

/** The factory the program entry hands to the framework. */
juce::JUCEApplicationBase* createApplication();
