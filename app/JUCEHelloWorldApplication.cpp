#include "app/JUCEHelloWorldApplication.h"
#include "app/MainComponent.h"

#include <atomic>
#include <thread>

namespace
{
    enum class Saving
    {
        notYet,
        underway,
        done
    };

    // Outlives the application object: the display may go after it has been deleted.
    std::atomic<Saving> saving { Saving::notYet };
}

JUCEHelloWorldApplication::JUCEHelloWorldApplication() = default;
JUCEHelloWorldApplication::~JUCEHelloWorldApplication() = default;

const juce::String JUCEHelloWorldApplication::getApplicationName()
{
    return "Velorin";
}
const juce::String JUCEHelloWorldApplication::getApplicationVersion()
{
    return "1.0.0";
}
bool JUCEHelloWorldApplication::moreThanOneInstanceAllowed()
{
    return true;
}

void JUCEHelloWorldApplication::initialise (const juce::String&)
{
    // A signal that comes while the window opens waits in the pipe until the loop runs.
    terminationSignals = std::make_unique<TerminationSignals>();
    mainWindow = std::make_unique<HelloWorldWindow>();
}

void JUCEHelloWorldApplication::shutdown()
{
    // Written before the window's teardown makes its first X call, so a display lost during
    // it finds them complete; the window's destruction then writes nothing more. The signal
    // handlers stay until the files are written: a second SIGTERM must not cut that short.
    saveDataFiles();
    mainWindow = nullptr;
    terminationSignals = nullptr;
}

bool JUCEHelloWorldApplication::saveDataFiles()
{
    auto expected = Saving::notYet;

    if (! saving.compare_exchange_strong (expected, Saving::underway))
    {
        // Xlib reports a lost display on the thread of the X call that found it, and writing
        // makes none: on the thread that writes, the files are always done by the time it
        // could get here. Another thread waits for them.
        while (saving.load() != Saving::done)
            std::this_thread::yield();

        return false;
    }

    if (auto* app = dynamic_cast<JUCEHelloWorldApplication*> (getInstance()))
        if (app->mainWindow != nullptr)
            if (auto* content = dynamic_cast<MainComponent*> (app->mainWindow->getContentComponent()))
                content->writeDataFiles();

    saving = Saving::done;
    return true;
}

void JUCEHelloWorldApplication::anotherInstanceStarted (const juce::String&) {}

void JUCEHelloWorldApplication::systemRequestedQuit()
{
    quit();
}

void JUCEHelloWorldApplication::suspended() {}
void JUCEHelloWorldApplication::resumed() {}
void JUCEHelloWorldApplication::unhandledException (const std::exception*, const juce::String&, int) {}

juce::JUCEApplicationBase* createApplication()
{
    return new JUCEHelloWorldApplication();
}
