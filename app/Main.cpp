#include "app/JUCEHelloWorldApplication.h"

#include <X11/Xlib.h>

namespace
{
    XIOErrorHandler frameworkIOErrorHandler = nullptr;

    /** Xlib calls this when the connection to the display is lost and ends the process once
        it returns, so nothing gets to shut down in order: the data files are written here,
        without any X call, before the framework's own handler runs. */
    int writeDataOnLostDisplay (Display* display)
    {
        if (auto* app = dynamic_cast<JUCEHelloWorldApplication*> (juce::JUCEApplicationBase::getInstance()))
            app->writeDataFiles();

        return frameworkIOErrorHandler != nullptr ? frameworkIOErrorHandler (display) : 0;
    }

    /** The application with the lost-display handler, which needs Xlib and so lives with the
        program entry. */
    class VelorinApplication final : public JUCEHelloWorldApplication
    {
    public:
        void initialise (const juce::String& commandLine) override
        {
            // The framework sets its handler when the window opens the display; ours goes
            // after it and passes on to it.
            JUCEHelloWorldApplication::initialise (commandLine);
            frameworkIOErrorHandler = XSetIOErrorHandler (writeDataOnLostDisplay);
        }
    };
}

int main (int argc, char* argv[])
{
    juce::JUCEApplicationBase::createInstance = [] () -> juce::JUCEApplicationBase* { return new VelorinApplication(); };
    return juce::JUCEApplicationBase::main (argc, (const char**) argv);
}
