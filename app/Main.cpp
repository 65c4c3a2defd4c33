#include "app/JUCEHelloWorldApplication.h"

#include <X11/Xlib.h>

#include <cstdlib>

namespace
{
    /** Xlib calls this when the connection to the display is lost and ends the process once
        it returns, so nothing gets to shut down in order: the data files are written here,
        without any X call, and the process ends at once, before static destructors run
        over a framework that is still alive. */
    int writeDataOnLostDisplay (Display*)
    {
        if (auto* app = dynamic_cast<JUCEHelloWorldApplication*> (juce::JUCEApplicationBase::getInstance()))
            app->writeDataFiles();

        std::_Exit (1);
    }

    /** The application with the lost-display handler, which needs Xlib and so lives with the
        program entry. */
    class VelorinApplication final : public JUCEHelloWorldApplication
    {
    public:
        void initialise (const juce::String& commandLine) override
        {
            // The framework sets its handler when the window opens the display; ours
            // replaces it.
            JUCEHelloWorldApplication::initialise (commandLine);
            XSetIOErrorHandler (writeDataOnLostDisplay);
        }
    };
}

int main (int argc, char* argv[])
{
    juce::JUCEApplicationBase::createInstance = [] () -> juce::JUCEApplicationBase* { return new VelorinApplication(); };
    return juce::JUCEApplicationBase::main (argc, (const char**) argv);
}
