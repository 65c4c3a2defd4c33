#include "app/JUCEHelloWorldApplication.h"
#include "app/MainComponent.h"

JUCEHelloWorldApplication::JUCEHelloWorldApplication() = default;
JUCEHelloWorldApplication::~JUCEHelloWorldApplication() = default;

const juce::String JUCEHelloWorldApplication::getApplicationName()     { return "Velorin"; }
const juce::String JUCEHelloWorldApplication::getApplicationVersion()  { return "1.0.0"; }
bool JUCEHelloWorldApplication::moreThanOneInstanceAllowed()           { return true; }

void JUCEHelloWorldApplication::initialise (const juce::String&)
{
    // A signal that comes while the window opens waits in the pipe until the loop runs.
    terminationSignals = std::make_unique<TerminationSignals>();
    mainWindow = std::make_unique<HelloWorldWindow>();
}

void JUCEHelloWorldApplication::shutdown()
{
    // The handlers stay until the files are written: a second SIGTERM must not cut that short.
    mainWindow = nullptr;
    terminationSignals = nullptr;
}

void JUCEHelloWorldApplication::writeDataFiles()
{
    if (mainWindow != nullptr)
        if (auto* content = dynamic_cast<MainComponent*> (mainWindow->getContentComponent()))
            content->writeDataFiles();
}

void JUCEHelloWorldApplication::anotherInstanceStarted (const juce::String&)  {}

void JUCEHelloWorldApplication::systemRequestedQuit()
{
    quit();
}

void JUCEHelloWorldApplication::suspended()  {}
void JUCEHelloWorldApplication::resumed()    {}
void JUCEHelloWorldApplication::unhandledException (const std::exception*, const juce::String&, int)  {}

juce::JUCEApplicationBase* createApplication()
{
    return new JUCEHelloWorldApplication();
}
