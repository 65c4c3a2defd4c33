#pragma once
#include "engine/ReplayProcessor.h"

#include <sys/stat.h>

// What the tests, fuzzers, soak and benchmark share.
namespace testkit
{
    using namespace juce;

    /** Points HOME at a fresh folder with an empty "audio" folder while it lives. The folder is in /tmp, not
        TMPDIR: its path has the same length everywhere, and so has the XML that JUCE wraps at a column. */
    struct PrivateHome
    {
        PrivateHome()
        {
            // Open to all, as a home is: tests that drop their privileges look inside.
            chmod (home.getFullPathName().toRawUTF8(), 0755);
            home.getChildFile ("audio").createDirectory();
            setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
        }

        ~PrivateHome()
        {
            setenv ("HOME", previous.toRawUTF8(), 1);
            home.deleteRecursively();
        }

        File dataFolder() const { return home.getChildFile (".config/DravikLabs/Velorin"); }
        const String previous = getenv ("HOME");
        const File home = String (mkdtemp (std::string ("/tmp/velorin-testing-home-XXXXXX").data()));
    };

    /** Sample `index` of a ramp file: exact at 24 bits, distinct below 2^20 samples, negative on channel 1. */
    inline float rampValue (int channel, int64 index)
    {
        const auto value = (float) (index % (1 << 20) + 1) / (1 << 21);
        return channel == 0 ? value : -value;
    }

    /** Writes a WAV or AIFF (by extension): the ramp, or when `music` a note sounding every 1.5 s. */
    bool writeAudio (const File& file, double rate, int channels, int64 samples, int bits = 24, bool music = false);
    bool setTags (const File& file, const String& title, const String& artist);

    /** Puts a chunk before the audio of a WAV or AIFF file (by extension). */
    bool insertChunk (const File& file, const char* id, const MemoryBlock& content);

    /** Renders a block under the processor's callback lock, as the player does. */
    inline void renderBlock (ReplayProcessor& processor, AudioBuffer<float>& block, MidiBuffer midi = {})
    {
        const ScopedLock lock (processor.getCallbackLock());
        processor.processBlock (block, midi);
    }

    /** While it lives, JUCE's log goes to stderr, and its assertions also to `onAssertion`; but not the few
        assertions that input from outside reaches with nothing wrong (TestKit.cpp). */
    struct AssertionCheck : Logger
    {
        explicit AssertionCheck (std::function<void (const String&)> handler = {})
            : onAssertion (handler)
        {
            setCurrentLogger (this);
        }

        ~AssertionCheck() override { setCurrentLogger (previousLogger); }
        void logMessage (const String& message) override;
        std::function<void (const String&)> onAssertion;
        Logger* const previousLogger = getCurrentLogger();
    };

    /** A JACK server on its dummy back end (real-time paced, no sound card), this process's default while it lives.
        It dies with this process, under the first free name of a few: a slot left in JACK's registry is taken again. */
    struct JackServer
    {
        JackServer();
        ~JackServer()
        {
            stop();
            unsetenv ("JACK_DEFAULT_SERVER");
        }

        void stop();
        String name;
        bool ready = false;
        int pid = 0;
    };
}
