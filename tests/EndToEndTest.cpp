#include "VelorinTest.h"
// The real program under Xvfb with a JACK dummy device, driven with xdotool as a user would.
static juce::String run (juce::StringArray command)   // under `timeout`: xdotool --sync waits for ever for a window that never comes
{
    juce::ChildProcess process;
    command.insert (0, "30"), command.insert (0, "timeout");
    return process.start (command) ? process.readAllProcessOutput() : juce::String();
}
static juce::String findWindow (const char* title)   { return run ({ "xdotool", "search", "--sync", "--onlyvisible", "--name", title }).upToFirstOccurrenceOf ("\n", false, false).trim(); }
static void click (const juce::String& window, int x, int y, int clicks)   { run ({ "xdotool", "mousemove", "--window", window, juce::String (x), juce::String (y), "click", "--repeat", juce::String (clicks), "--delay", "80", "1" }); }
struct EndToEndTest : VelorinTest
{
    ~EndToEndTest() override   { for (auto* process : { &app, &xvfb }) if (process->isRunning()) process->kill(); }
    /** Starts an X server, then the program on it; returns the program's window. */
    juce::String start()
    {
        char display[16] = {};
        return xvfb.start (juce::StringArray { "Xvfb", "-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp" }, juce::ChildProcess::wantStdOut) && xvfb.readProcessOutput (display, 15) > 0
               && setenv ("DISPLAY", (":" + juce::String (display).trim()).toRawUTF8(), 1) == 0 && app.start (VELORIN_APP_PATH, 0) ? findWindow ("^Velorin$") : juce::String();
    }
    /** The screen once `shows` holds of it, or after 10 s. */
    juce::Image screen (std::function<bool (const juce::Image&)> shows) const
    {
        const auto png = home.getChildFile ("screen.png");
        for (const auto end = juce::Time::getMillisecondCounter() + 10000;; juce::Thread::sleep (200))
            if (const auto image = (png.deleteFile(), run ({ "sh", "-c", "xwd -root -silent | /usr/bin/convert xwd:- " + png.getFullPathName().quoted() }), juce::ImageFileFormat::loadFrom (png));
                shows (image) || juce::Time::getMillisecondCounter() > end)
                return image;
    }
    testkit::JackServer jack;
    juce::ChildProcess xvfb, app;
};
// Each time: a fresh start, LOAD of a playlist of three files through the chooser, PLAY, then
// the end (SIGINT, SIGTERM, SIGHUP, or the X server going away) writes all three data files.
TEST_F (EndToEndTest, LoadPlayAndEndBySignalOrLostDisplay)
{
    const juce::StringArray names { "Morning", "Noon", "Evening" };
    juce::String list ("<playlist>");
    for (auto& name : names)
    {
        const auto file = audio.getChildFile (name + ".wav");
        ASSERT_TRUE (testkit::writeAudio (file, 44100.0, 2, 12 * 44100, 16, true) && testkit::setTags (file, name, "The Practice Band"));
        list << "<file name=\"" << file.getFullPathName() << "\"/>";
    }
    ASSERT_TRUE (jack.ready && audio.getChildFile ("practice.xml").replaceWithText (list + "</playlist>") && privateHome.dataFolder().createDirectory());
    for (const int signal : { SIGINT, SIGTERM, SIGHUP, 0 })   // 0: the X server goes away
    {
        SCOPED_TRACE ("ending with " + std::to_string (signal));
        dataFile ("data.xml").deleteFile(), dataFile ("midi.map").deleteFile();   // the chooser starts where the playlist lies
        ASSERT_TRUE (dataFile (".config").replaceWithText ("<config LastUsedPlaylist=\"" + audio.getFullPathName() + "\"/>"));
        const auto window = start();
        ASSERT_TRUE (window.isNotEmpty() && dataFile ("data.xml").getSize() == 0) << "no window titled Velorin, or data.xml not made empty";
        const auto geometry = run ({ "xdotool", "getwindowgeometry", "--shell", window });
        const int left = geometry.fromFirstOccurrenceOf ("\nX=", false, false).getIntValue(), top = geometry.fromFirstOccurrenceOf ("\nY=", false, false).getIntValue();
        EXPECT_TRUE (left == (1280 - 800) / 2 && geometry.contains ("\nWIDTH=800\nHEIGHT=530\n")) << geometry;   // centred
        const auto at = [&] (const juce::Image& image, int x, int y) { return image.getPixelAt (left + x, top + y); };
        const auto playLit = [&] (const juce::Image& image) { return at (image, 105, 475).getRed() > 0xc0 && at (image, 105, 475).getGreen() > 0x80; };
        const auto first = screen ([&] (auto& image) { return at (image, 600, 45) == juce::Colour (0xff102030); });   // the editor shown
        EXPECT_FALSE (playLit (first));
        click (window, 290, 50, 1);   // LOAD, then a double click on the playlist in the chooser
        const auto chooser = findWindow ("Choose a playlist to load");
        ASSERT_FALSE (chooser.isEmpty()) << "the LOAD chooser did not open";
        for (int tries = 0; tries < 10 && run ({ "xdotool", "search", "--onlyvisible", "--name", "Choose a" }).isNotEmpty(); ++tries)
            click (chooser, 60, 85, 2), juce::Thread::sleep (500);   // again while its list is still being filled
        const auto loaded = [&] (const juce::Image& image) { return at (image, 400, 100) != at (first, 400, 100) && run ({ "xdotool", "search", "--onlyvisible", "--name", "Choose a" }).isEmpty(); };
        EXPECT_TRUE (loaded (screen (loaded)));   // the chooser gone, the table has rows
        click (window, 105, 485, 1);   // PLAY
        EXPECT_TRUE (playLit (screen (playLit)));
        EXPECT_TRUE (("\n" + run ({ "jack_lsp" })).contains ("\nVelorin:out_1\n")) << "no JACK port named after the program";
        ASSERT_TRUE (signal != 0 ? kill (run ({ "xdotool", "getwindowpid", window }).getIntValue(), signal) == 0 : xvfb.kill());
        ASSERT_TRUE (app.waitForProcessToFinish (20000)) << "the program did not end";
        xvfb.kill();
        EXPECT_TRUE (signal == 0 || app.getExitCode() == 0u);   // (a death by signal reads as 0 too: the files tell)
        for (auto& name : names)
            EXPECT_TRUE (dataFile ("data.xml").loadFileAsString().contains (audio.getChildFile (name + ".wav").getFullPathName())) << name;
        EXPECT_TRUE (dataFile ("midi.map").loadFileAsString().contains ("<midimap") && dataFile (".config").loadFileAsString().startsWith ("<?xml")) << "not rewritten";
        EXPECT_LE (dataFile (".config").getLastModificationTime(), dataFile ("data.xml").getLastModificationTime());
    }
}
// A logout: SIGTERM and the X server's end in the same instant, a few times over. Whichever the program meets
// first, and even when the display goes while the shutdown is tearing the window down, the files are written.
TEST_F (EndToEndTest, SigtermAndLostDisplayTogetherWriteTheDataFiles)
{
    ASSERT_TRUE (jack.ready);
    for (int trial = 0; trial < 3; ++trial)
    {
        SCOPED_TRACE ("trial " + std::to_string (trial));
        privateHome.dataFolder().deleteRecursively();
        const auto window = start();
        ASSERT_TRUE (window.isNotEmpty()) << "no window titled Velorin";
        const auto pid = run ({ "xdotool", "getwindowpid", window }).getIntValue();
        const auto sent = kill (pid, SIGTERM);
        xvfb.kill();
        ASSERT_EQ (sent, 0) << "SIGTERM not sent";
        ASSERT_TRUE (app.waitForProcessToFinish (20000)) << "the program did not end";
        EXPECT_EQ (app.getExitCode(), 0u);
        EXPECT_TRUE (read ("data.xml").contains ("<data/>")) << read ("data.xml");
        EXPECT_TRUE (read ("midi.map").contains ("<midimap")) << read ("midi.map");
        EXPECT_TRUE (read (".config").contains ("<config/>")) << read (".config");
    }
}
