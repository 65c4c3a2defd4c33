#include "app/JUCEHelloWorldApplication.h"

JUCEHelloWorldApplication::JUCEHelloWorldApplication() = default;
JUCEHelloWorldApplication::~JUCEHelloWorldApplication() = default;

const juce::String JUCEHelloWorldApplication::getApplicationName()     { return "Velorin"; }
const juce::String JUCEHelloWorldApplication::getApplicationVersion()  { return "1.0.0"; }
bool JUCEHelloWorldApplication::moreThanOneInstanceAllowed()           { return true; }

void JUCEHelloWorldApplication::initialise (const juce::String&)
{
    mainWindow = std::make_unique<HelloWorldWindow>();
}

void JUCEHelloWorldApplication::shutdown()
{
    mainWindow = nullptr;
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
