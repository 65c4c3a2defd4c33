#include "TestSupport.h"
#include "engine/XmlFiles.h"

#include <csignal>

// The real program under Xvfb with a JACK dummy device, driven as a user would with
// xdotool: load a playlist through the LOAD button's chooser, press PLAY, look at the
// window, then stop it with SIGINT and check what it wrote.

namespace
{
    /** Runs a command to its end and returns what it printed (empty after a timeout). */
    juce::String run (const juce::StringArray& command, int timeoutMs = 20000)
    {
        juce::ChildProcess process;

        if (! process.start (command))
            return {};

        const auto output = process.readAllProcessOutput();

        if (! process.waitForProcessToFinish (timeoutMs))
            process.kill();

        return output;
    }

    int geometryValue (const juce::String& shellGeometry, const juce::String& key)
    {
        for (auto line : juce::StringArray::fromLines (shellGeometry))
            if (line.startsWith (key + "="))
                return line.fromFirstOccurrenceOf ("=", false, false).getIntValue();

        return -1;
    }

    class VirtualDisplay
    {
    public:
        VirtualDisplay()
        {
            if (! server.start (juce::StringArray { "Xvfb", "-displayfd", "1", "-screen", "0", "1280x1024x24",
                                                    "-nolisten", "tcp" }, juce::ChildProcess::wantStdOut))
                return;

            char text[16] = {};
            const auto read = server.readProcessOutput (text, (int) sizeof (text) - 1);
            number = read > 0 ? juce::String (text).trim().getIntValue() : -1;
        }

        ~VirtualDisplay()   { server.kill(); }

        juce::String name() const   { return ":" + juce::String (number); }

        int number = -1;

    private:
        juce::ChildProcess server;
    };
}

class EndToEndTest : public TempHomeTest
{
protected:
    /** A screenshot of the whole screen. */
    juce::Image screenshot (const juce::String& name)
    {
        const auto xwd = home.getChildFile (name + ".xwd");
        const auto png = home.getChildFile (name + ".png");
        run ({ "xwd", "-root", "-silent", "-out", xwd.getFullPathName() });
        run ({ "/usr/bin/convert", xwd.getFullPathName(), png.getFullPathName() });
        return juce::ImageFileFormat::loadFrom (png);
    }

    juce::String findWindow (const juce::String& title)
    {
        return run ({ "xdotool", "search", "--sync", "--onlyvisible", "--name", title }, 20000)
                   .upToFirstOccurrenceOf ("\n", false, false).trim();
    }

    void clickIn (const juce::String& window, int x, int y, int clicks = 1)
    {
        run ({ "xdotool", "mousemove", "--window", window, juce::String (x), juce::String (y),
               "click", "--repeat", juce::String (clicks), "--delay", "80", "1" });
    }
};

TEST_F (EndToEndTest, LoadPlayAndQuitWithInterrupt)
{
    // A playlist of three generated files, and the chooser set to start where it lies.
    juce::StringArray names { "Morning.wav", "Noon.wav", "Evening.wav" };
    juce::XmlElement list ("playlist");

    for (auto& name : names)
    {
        const auto file = audioFolder().getChildFile (name);
        testaudio::writeMusic (file, 44100.0, 12.0);
        testaudio::setTags (file, name.upToFirstOccurrenceOf (".", false, false), "The Practice Band");
        list.createNewChildElement ("file")->setAttribute ("name", file.getFullPathName());
    }

    ASSERT_TRUE (XmlFiles::writeDocument (list, audioFolder().getChildFile ("practice.xml")));
    ASSERT_TRUE (dataFolder().createDirectory());
    juce::XmlElement settings ("config");
    settings.setAttribute ("LastUsedPlaylist", audioFolder().getFullPathName());
    ASSERT_TRUE (XmlFiles::writeDocument (settings, dataFolder().getChildFile (".config")));

    VirtualDisplay display;
    ASSERT_GE (display.number, 0) << "Xvfb did not start";
    setenv ("DISPLAY", display.name().toRawUTF8(), 1);
    JackServer jack;
    ASSERT_TRUE (jack.ready);

    juce::ChildProcess app;
    ASSERT_TRUE (app.start (VELORIN_APP_PATH, 0));

    const auto window = findWindow ("^Velorin$");
    ASSERT_FALSE (window.isEmpty()) << "no window titled Velorin";
    const auto geometry = run ({ "xdotool", "getwindowgeometry", "--shell", window });
    const int left = geometryValue (geometry, "X"), top = geometryValue (geometry, "Y");
    EXPECT_EQ (geometryValue (geometry, "WIDTH"), 800);
    EXPECT_EQ (geometryValue (geometry, "HEIGHT"), 530);
    EXPECT_EQ (left, (1280 - 800) / 2);   // centred

    const auto first = screenshot ("started");
    ASSERT_TRUE (first.isValid());
    EXPECT_EQ (first.getPixelAt (left + 600, top + 45), juce::Colour (0xff102030));   // the editor
    EXPECT_EQ (first.getPixelAt (left + 500, top + 15), juce::Colour (0xffc1d0ff));   // right of the tabs
    const auto tab = first.getPixelAt (left + 60, top + 15);                            // "Velorin", current:
    EXPECT_GT (tab.getRed(), tab.getBlue());                                            // lit yellow

    // LOAD, then a double click on the playlist in the chooser.
    clickIn (window, 290, 50);
    const auto chooser = findWindow ("Choose a playlist to load");
    ASSERT_FALSE (chooser.isEmpty()) << "the LOAD chooser did not open";
    clickIn (chooser, 60, 85, 2);
    juce::Thread::sleep (500);

    // PLAY.
    clickIn (window, 105, 485);
    juce::Thread::sleep (2500);

    const auto playing = screenshot ("playing");
    ASSERT_TRUE (playing.isValid());
    juce::PNGImageFormat().writeImageToStream (playing.getClippedImage ({ left, top, 800, 530 }),
                                               *juce::File::getCurrentWorkingDirectory()
                                                    .getChildFile ("velorin-window.png").createOutputStream());

    const auto glow = playing.getPixelAt (left + 105, top + 475);   // inside the lit PLAY button
    EXPECT_GT (glow.getRed(), 0xc0);
    EXPECT_GT (glow.getGreen(), 0x80);
    const auto row = playing.getPixelAt (left + 400, top + 100);    // the table has rows now
    EXPECT_NE (row, first.getPixelAt (left + 400, top + 100));

    // SIGINT: the program quits in order and writes its files.
    const auto pid = run ({ "xdotool", "getwindowpid", window }).trim().getIntValue();
    ASSERT_GT (pid, 0);
    ASSERT_EQ (kill (pid, SIGINT), 0);
    ASSERT_TRUE (app.waitForProcessToFinish (20000)) << "the program did not quit";
    EXPECT_EQ (app.getExitCode(), 0u);

    const auto data = dataFolder().getChildFile ("data.xml").loadFileAsString();
    for (auto& name : names)
        EXPECT_TRUE (data.contains (audioFolder().getChildFile (name).getFullPathName())) << name;

    EXPECT_TRUE (dataFolder().getChildFile ("midi.map").loadFileAsString().contains ("<midimap"));
    EXPECT_TRUE (dataFolder().getChildFile (".config").loadFileAsString().contains ("LastUsedPlaylist"));
    EXPECT_LE (dataFolder().getChildFile (".config").getLastModificationTime(),
               dataFolder().getChildFile ("data.xml").getLastModificationTime());
}

// The ways the program can be told to end other than its window or Ctrl+C. Each starts it with
// a fresh HOME, where data.xml is created empty at start and written out at exit.
struct Ending
{
    const char* name;
    int signal;   // 0: the X server goes away instead

    friend std::ostream& operator<< (std::ostream& out, const Ending& ending)  { return out << ending.name; }
};

class EndingTest : public EndToEndTest, public ::testing::WithParamInterface<Ending> {};

TEST_P (EndingTest, WritesTheDataFiles)
{
    auto display = std::make_unique<VirtualDisplay>();
    ASSERT_GE (display->number, 0) << "Xvfb did not start";
    setenv ("DISPLAY", display->name().toRawUTF8(), 1);

    juce::ChildProcess app;
    ASSERT_TRUE (app.start (VELORIN_APP_PATH, 0));
    const auto window = findWindow ("^Velorin$");
    ASSERT_FALSE (window.isEmpty()) << "no window titled Velorin";
    const auto pid = run ({ "xdotool", "getwindowpid", window }).trim().getIntValue();
    ASSERT_GT (pid, 0);
    ASSERT_EQ (dataFolder().getChildFile ("data.xml").getSize(), 0);

    if (GetParam().signal != 0)
    {
        ASSERT_EQ (kill (pid, GetParam().signal), 0);
    }
    else
    {
        display.reset();   // kills the server
    }

    ASSERT_TRUE (app.waitForProcessToFinish (20000)) << "the program did not end";

    // A death by signal also reads as 0 here; the files below tell the two apart.
    if (GetParam().signal != 0)
    {
        EXPECT_EQ (app.getExitCode(), 0u);
    }

    for (auto name : { "data.xml", "midi.map", ".config" })
        EXPECT_GT (dataFolder().getChildFile (name).getSize(), 0) << name;
}

INSTANTIATE_TEST_SUITE_P (EndToEnd, EndingTest,
                          ::testing::Values (Ending { "Terminate", SIGTERM },
                                             Ending { "HangUp", SIGHUP },
                                             Ending { "LostDisplay", 0 }),
                          [] (const auto& info) { return std::string (info.param.name); });
