#include "VelorinTest.h"

// The real program under Xvfb with a JACK dummy device, driven with xdotool as a user would.

/** Runs a command line (arguments without blanks) for `seconds` at most: xdotool --sync waits for ever for a window
    that never comes. Returns its output. */
static juce::String run (const juce::String& command, int seconds = 30)
{
    juce::ChildProcess process;
    return process.start ("timeout " + juce::String (seconds) + " " + command) ? process.readAllProcessOutput()
                                                                               : juce::String();
}

/** A visible window whose title matches, once there is one. */
static juce::String findWindow (const juce::String& title, int seconds = 30)
{
    return run ("xdotool search --sync --onlyvisible --name " + title, seconds)
        .upToFirstOccurrenceOf ("\n", false, false);
}

/** Clicks at "x y" in the window. */
static void click (const juce::String& window, const char* at, int clicks = 1)
{
    run ("xdotool mousemove --window " + window + " " + at + " click --repeat " + juce::String (clicks) + " 1");
}

/** True once PLAY shows lit, within 10 s: light orange (red beyond 0xc0) where the dark panel showed before. */
static bool playShowsLit (const juce::String& window)
{
    for (int tries = 0; tries < 50; ++tries)
    {
        // "# ImageMagick pixel enumeration: 1,1,255,srgb\n0,0: (255,234,198)  #FFEAC6  srgb(255,234,198)"
        const auto pixel = run ("import -window " + window + " -crop 1x1+105+475 -depth 8 txt:-");

        if (pixel.fromFirstOccurrenceOf ("(", false, false).getIntValue() > 0xc0)
            return true;

        juce::Thread::sleep (200);
    }

    return false;
}

struct EndToEndTest : VelorinTest
{
    ~EndToEndTest() override
    {
        for (auto* process : { &app, &xvfb })
            if (process->isRunning())
                process->kill();
    }

    /** Starts an X server, then the program on it; returns the program's window. */
    juce::String start()
    {
        const auto command = "Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp";
        char display[16] = {};

        if (! xvfb.start (command, juce::ChildProcess::wantStdOut) || xvfb.readProcessOutput (display, 15) <= 0)
            return {};

        setenv ("DISPLAY", (":" + juce::String (display).trim()).toRawUTF8(), 1);
        return app.start (VELORIN_APP_PATH, 0) ? findWindow ("^Velorin$") : juce::String();
    }

    testkit::JackServer jack;
    juce::ChildProcess xvfb;
    juce::ChildProcess app;
};

// Each time a fresh start, LOAD of a playlist through the chooser and PLAY; then the end: a signal, the X server going
// away, or both at once as at a logout (three times: whichever the program meets first, even while the shutdown is
// tearing the window down). The program ends and has written all three data files.
TEST_F (EndToEndTest, AfterLoadAndPlayEverySignalAndTheLostDisplayEndTheProgramWithTheDataFilesWritten)
{
    const auto music = audio.getChildFile ("Evening.wav");
    const auto written = testkit::writeAudio (music, 44100.0, 2, 12 * 44100, 16, true);
    const auto listed = audio.getChildFile ("practice.xml")
                            .replaceWithText ("<playlist><file name=\"" + music.getFullPathName() + "\"/></playlist>");
    ASSERT_TRUE (written);
    ASSERT_TRUE (listed);
    ASSERT_TRUE (jack.ready);
    const std::pair<int, bool> endings[] = { { SIGINT, false }, { SIGTERM, false }, { SIGHUP, false }, { 0, true },
                                             { SIGTERM, true }, { SIGTERM, true },  { SIGTERM, true } };

    for (const auto& [signal, loseDisplay] : endings)
    {
        SCOPED_TRACE ("signal " + std::to_string (signal) + (loseDisplay ? " and the display lost" : ""));
        privateHome.dataFolder().deleteRecursively();
        privateHome.dataFolder().createDirectory();
        // The LOAD chooser opens in the folder of the last playlist.
        dataFile (".config").replaceWithText ("<config LastUsedPlaylist=\"" + audio.getFullPathName() + "\"/>");
        const auto window = start();
        ASSERT_TRUE (window.isNotEmpty()) << "no window titled Velorin";
        juce::String chooser;

        for (int tries = 0; tries < 10 && chooser.isEmpty(); ++tries)
        {
            click (window, "290 50");   // LOAD, again while the window is still being drawn
            chooser = findWindow ("Choose", 3);
        }

        // A double click on the playlist, again while the chooser's list is still being filled.
        for (int tries = 0; tries < 10; ++tries)
        {
            if (findWindow ("Choose", 1).isEmpty())
                break;

            click (chooser, "60 85", 2);
            juce::Thread::sleep (500);
        }

        click (window, "105 485");   // PLAY
        EXPECT_TRUE (playShowsLit (window));
        EXPECT_TRUE (juce::StringArray::fromLines (run ("jack_lsp")).contains ("Velorin:out_1"));

        if (signal != 0)
            kill (run ("xdotool getwindowpid " + window).getIntValue(), signal);

        if (loseDisplay)
            xvfb.kill();

        const auto ended = app.waitForProcessToFinish (20000);
        ASSERT_TRUE (ended) << "the program did not end";
        xvfb.kill();

        if (signal != 0)
        {
            EXPECT_EQ (app.getExitCode(), 0u);   // a death by a signal reads as 0 too: the files tell
        }

        EXPECT_TRUE (read ("data.xml").contains ("~/audio/Evening.wav")) << read ("data.xml");
        EXPECT_TRUE (read ("midi.map").contains ("<midimap")) << read ("midi.map");
        EXPECT_TRUE (read (".config").startsWith ("<?xml")) << read (".config");
    }
}
