#include "VelorinTest.h"
#include "engine/XmlFiles.h"

#include <csignal>

// The real program under Xvfb with a JACK dummy device, driven as a user would with xdotool:
// load a playlist through the LOAD button's chooser, press PLAY, look at the window, then
// stop it with SIGINT and check what it wrote.

namespace
{
    /** Runs a command to its end and returns what it printed (empty after a timeout). */
    juce::String run (const juce::StringArray& command)
    {
        juce::ChildProcess process;
        if (! process.start (command))
            return {};
        const auto output = process.readAllProcessOutput();
        if (! process.waitForProcessToFinish (20000))
            process.kill();
        return output;
    }
}

using EndToEndTest = VelorinTest;

TEST_F (EndToEndTest, LoadPlayAndQuitWithInterrupt)
{
    // A playlist of three generated files, and the chooser set to start where it lies.
    const juce::StringArray names { "Morning", "Noon", "Evening" };
    juce::XmlElement list ("playlist");
    for (auto& name : names)
    {
        const auto file = audio.getChildFile (name + ".wav");
        ASSERT_TRUE (testkit::writeAudio (file, 44100.0, 2, 12 * 44100, 16, true) && testkit::setTags (file, name, "The Practice Band"));
        list.createNewChildElement ("file")->setAttribute ("name", file.getFullPathName());
    }
    ASSERT_TRUE (XmlFiles::writeDocument (list, audio.getChildFile ("practice.xml")));
    ASSERT_TRUE (privateHome.dataFolder().createDirectory());
    juce::XmlElement settings ("config");
    settings.setAttribute ("LastUsedPlaylist", audio.getFullPathName());
    ASSERT_TRUE (XmlFiles::writeDocument (settings, dataFile (".config")));

    juce::ChildProcess xvfb, app;
    struct Ender { juce::ChildProcess& process; ~Ender() { if (process.isRunning()) process.kill(); } } endXvfb { xvfb }, endApp { app };
    ASSERT_TRUE (xvfb.start (juce::StringArray { "Xvfb", "-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp" }, juce::ChildProcess::wantStdOut));
    char display[16] = {};
    ASSERT_GT (xvfb.readProcessOutput (display, (int) sizeof (display) - 1), 0) << "Xvfb did not start";
    setenv ("DISPLAY", (":" + juce::String (display).trim()).toRawUTF8(), 1);
    testkit::JackServer jack;
    ASSERT_TRUE (jack.ready);
    ASSERT_TRUE (app.start (VELORIN_APP_PATH, 0));

    const auto findWindow = [] (const char* title) { return run ({ "xdotool", "search", "--sync", "--onlyvisible", "--name", title }).upToFirstOccurrenceOf ("\n", false, false).trim(); };
    const auto clickIn = [] (const juce::String& window, int x, int y, int clicks)
    { run ({ "xdotool", "mousemove", "--window", window, juce::String (x), juce::String (y), "click", "--repeat", juce::String (clicks), "--delay", "80", "1" }); };
    const auto screenshot = [this] (const juce::String& name)
    {
        const auto xwd = home.getChildFile (name + ".xwd"), png = home.getChildFile (name + ".png");
        run ({ "xwd", "-root", "-silent", "-out", xwd.getFullPathName() });
        run ({ "/usr/bin/convert", xwd.getFullPathName(), png.getFullPathName() });
        return juce::ImageFileFormat::loadFrom (png);
    };

    const auto window = findWindow ("^Velorin$");
    ASSERT_FALSE (window.isEmpty()) << "no window titled Velorin";
    juce::StringPairArray geometry;
    for (auto line : juce::StringArray::fromLines (run ({ "xdotool", "getwindowgeometry", "--shell", window })))
        geometry.set (line.upToFirstOccurrenceOf ("=", false, false), line.fromFirstOccurrenceOf ("=", false, false));
    const int left = geometry["X"].getIntValue(), top = geometry["Y"].getIntValue();
    EXPECT_EQ (geometry["WIDTH"] + "x" + geometry["HEIGHT"], "800x530");
    EXPECT_EQ (left, (1280 - 800) / 2);   // centred

    const auto first = screenshot ("started");
    ASSERT_TRUE (first.isValid());
    EXPECT_EQ (first.getPixelAt (left + 600, top + 45), juce::Colour (0xff102030));   // the editor
    EXPECT_EQ (first.getPixelAt (left + 500, top + 15), juce::Colour (0xffc1d0ff));   // right of the tabs
    const auto tab = first.getPixelAt (left + 60, top + 15);                            // "Velorin", current: lit yellow
    EXPECT_GT (tab.getRed(), tab.getBlue());

    clickIn (window, 290, 50, 1);   // LOAD, then a double click on the playlist in the chooser
    const auto chooser = findWindow ("Choose a playlist to load");
    ASSERT_FALSE (chooser.isEmpty()) << "the LOAD chooser did not open";
    clickIn (chooser, 60, 85, 2);
    juce::Thread::sleep (500);
    clickIn (window, 105, 485, 1);  // PLAY
    juce::Thread::sleep (2500);

    const auto playing = screenshot ("playing");
    ASSERT_TRUE (playing.isValid());
    juce::FileOutputStream shot (juce::File::getCurrentWorkingDirectory().getChildFile ("velorin-window.png"));
    shot.setPosition (0);
    shot.truncate();
    juce::PNGImageFormat().writeImageToStream (playing.getClippedImage ({ left, top, 800, 530 }), shot);
    const auto glow = playing.getPixelAt (left + 105, top + 475);   // inside the lit PLAY button
    EXPECT_TRUE (glow.getRed() > 0xc0 && glow.getGreen() > 0x80) << glow.toDisplayString (true);
    EXPECT_NE (playing.getPixelAt (left + 400, top + 100), first.getPixelAt (left + 400, top + 100));   // the table has rows

    // SIGINT: the program quits in order and writes its files.
    const auto pid = run ({ "xdotool", "getwindowpid", window }).trim().getIntValue();
    ASSERT_GT (pid, 0);
    ASSERT_EQ (kill (pid, SIGINT), 0);
    ASSERT_TRUE (app.waitForProcessToFinish (20000)) << "the program did not quit";
    EXPECT_EQ (app.getExitCode(), 0u);

    for (auto& name : names)
        EXPECT_TRUE (dataFile ("data.xml").loadFileAsString().contains (audio.getChildFile (name + ".wav").getFullPathName())) << name;
    EXPECT_TRUE (dataFile ("midi.map").loadFileAsString().contains ("<midimap"));
    EXPECT_TRUE (dataFile (".config").loadFileAsString().contains ("LastUsedPlaylist"));
    EXPECT_LE (dataFile (".config").getLastModificationTime(), dataFile ("data.xml").getLastModificationTime());
}

// SIGTERM, SIGHUP and a lost display end the program, each with a fresh HOME, where data.xml is
// created empty at start: all three data files are written on the way out.
TEST_F (EndToEndTest, EndingBySignalOrLostDisplayWritesTheDataFiles)
{
    for (const int signal : { SIGTERM, SIGHUP, 0 })   // 0: the X server goes away
    {
        for (auto name : { "data.xml", "midi.map", ".config" })
            dataFile (name).deleteFile();

        juce::ChildProcess xvfb, app;
        ASSERT_TRUE (xvfb.start (juce::StringArray { "Xvfb", "-displayfd", "1", "-nolisten", "tcp" }, juce::ChildProcess::wantStdOut));
        char display[16] = {};
        ASSERT_GT (xvfb.readProcessOutput (display, (int) sizeof (display) - 1), 0) << "Xvfb did not start";
        setenv ("DISPLAY", (":" + juce::String (display).trim()).toRawUTF8(), 1);
        ASSERT_TRUE (app.start (VELORIN_APP_PATH, 0));

        const auto window = run ({ "xdotool", "search", "--sync", "--onlyvisible", "--name", "^Velorin$" }).trim();
        const auto pid = run ({ "xdotool", "getwindowpid", window }).trim().getIntValue();
        ASSERT_GT (pid, 0) << "no window titled Velorin";
        ASSERT_EQ (dataFile ("data.xml").getSize(), 0);

        if (signal != 0)
            ASSERT_EQ (kill (pid, signal), 0);
        else
            xvfb.kill();

        ASSERT_TRUE (app.waitForProcessToFinish (20000)) << "the program did not end after " << signal;
        xvfb.kill();

        // (A death by signal also reads as exit code 0 here: the files tell the two apart.)
        EXPECT_TRUE (signal == 0 || app.getExitCode() == 0u) << signal;

        for (auto name : { "data.xml", "midi.map", ".config" })
            EXPECT_GT (dataFile (name).getSize(), 0) << name << " after " << signal;
    }
}
