#include "app/JUCEHelloWorldApplication.h"

#include <X11/Xlib.h>

#include <cstdlib>

namespace
{
    /** Xlib calls this when the connection to the display is lost and ends the process once
        it returns, so nothing gets to shut down in order: the data files are written here,
        without any X call, unless the shutdown wrote them already (it may be midway, having
        made the X call that lands here), and the process ends at once, before static
        destructors run over a framework that is still alive. The status is a failure only
        when the lost display is what ended the run: at a logout SIGTERM comes with it. */
    int writeDataOnLostDisplay (Display*)
    {
        const bool shutdownHadBegun = ! JUCEHelloWorldApplication::saveDataFiles();
        const bool quitRequested = shutdownHadBegun || TerminationSignals::received();

        std::_Exit (quitRequested ? 0 : 1);
    }

    /** The application with the lost-display handler, which needs Xlib and so lives with the
        program entry. */
    class VelorinApplication final : public JUCEHelloWorldApplication
    {
    public:
        void initialise (const juce::String& commandLine) override
        {
            // The framework sets its handler when it opens the display, which finding the
            // screens does; ours replaces it before the window is made, so a display lost
            // while the window opens ends the program in the same way.
            juce::Desktop::getInstance().getDisplays();
            XSetIOErrorHandler (writeDataOnLostDisplay);
            JUCEHelloWorldApplication::initialise (commandLine);
        }
    };
}

int main (int argc, char* argv[])
{
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return new VelorinApplication(); };
    return juce::JUCEApplicationBase::main (argc, (const char**) argv);
}
