#include "VelorinTest.h"
#include "ui/ConfigFile.h"

// The files the program writes (midi.map, .config, data.xml, playlists), byte for byte, and
// what it makes of damaged or foreign ones.

using DataFilesTest = VelorinTest;

TEST_F (DataFilesTest, ExactBytes)
{
    const auto first = audioFile ("a-folder-with-a-rather-long-name-for-wrapping/first.wav");
    const auto second = audioFile ("a-folder-with-a-rather-long-name-for-wrapping/second.wav");
    const auto accented = audio.getChildFile (juce::CharPointer_UTF8 ("b & \xc3\xa9.aif"));
    const juce::String indent (juce::String::repeatedString (" ", 2 + 1 + 32 + 1));   // under the first attribute
    ASSERT_TRUE (privateHome.dataFolder().createDirectory());

    struct Row { const char* file; std::function<void()> run; juce::String bytes; };
    const Row rows[] = {
        { "midi.map", [] { MidiMap map; }, "<midimap midi-0=\"\" midi-1=\"\" midi-2=\"\" midi-3=\"\"/>\r\n" },
        { "midi.map", []
          {
              const juce::uint8 bytes[] = { 0x7d, 1, 2, 3 };
              MidiMap map;
              map.mappings[0].message = MidiMap::messageText (juce::MidiMessage::createSysExMessage (bytes, 4));
              map.mappings[1].message = MidiMap::messageText (juce::MidiMessage::noteOff (1, 60, (juce::uint8) 0));
              map.mappings[2].message = MidiMap::messageText (juce::MidiMessage::controllerEvent (2, 7, 100));
          }, "<midimap midi-0=\"f0 7d 01 02 03 f7\" midi-1=\"80 3c 00\" midi-2=\"b1 07 64\"\r\n         midi-3=\"\"/>\r\n" },
        { ".config", [] { ConfigFile config ("Velorin"); }, "<config/>\r\n" },
        { ".config", []
          {
              ConfigFile config ("Velorin");
              config.setValue ("LastUsedPath", "/music/a");
              config.setValue ("LastUsedPlaylist", "/lists");
              config.setValue ("LastUsedPath", "/music/b");   // keeps its place
          }, "<config LastUsedPath=\"/music/b\" LastUsedPlaylist=\"/lists\"/>\r\n" },
        { ".config", [this]
          {
              dataFile (".config").replaceWithText ("<settings Theme=\"dark\" LastUsedPath=\"/x\"><window w=\"3\"/></settings>");
              ConfigFile config ("Velorin");
              EXPECT_EQ (config.getValue ("LastUsedPath"), "/x");
              config.setValue ("LastUsedPath", "/y");
              config.setValue ("LastUsedFile", "/z");
          }, "<settings Theme=\"dark\" LastUsedPath=\"/y\" LastUsedFile=\"/z\">\r\n  <window w=\"3\"/>\r\n</settings>\r\n" },
        { ".config", [this]
          {
              dataFile (".config").replaceWithText ("<config LastUsedPath=\"/x\" <<");
              ConfigFile config ("Velorin");
              EXPECT_EQ (config.getValue ("LastUsedPath"), "");
              config.setValue ("LastUsedFile", "/f");
          }, "<config LastUsedFile=\"/f\"/>\r\n" },
        { "data.xml", [] { ReplayProcessor processor; }, "<data/>\r\n" },
        { "data.xml", [&]
          {
              ReplayProcessor processor;
              processor.addFile (first);
              processor.addFile (second);
              processor.playlist[0]->cue = 1.5f;
              processor.playlist[0]->loopA = 0.1f;
              processor.playlist[1]->loopB = 2.25f;
          }, "<data>\r\n  <" + keyOf (first) + " name=\"" + first.getFullPathName() + "\"\r\n" + indent
             + "cue=\"1.5\" p1=\"0.10000000149011611938\" p2=\"0\"/>\r\n  <" + keyOf (second) + " name=\""
             + second.getFullPathName() + "\"\r\n" + indent + "cue=\"0\" p1=\"0\" p2=\"2.25\"/>\r\n</data>\r\n" },
        { "list.xml", [this] { EXPECT_TRUE (ReplayProcessor().savePlaylist (dataFile ("list.xml"))); }, "<playlist/>\r\n" },
        { "list.xml", [&]
          {
              ReplayProcessor processor;
              for (auto& f : { first, accented, first })
                  processor.addFile (f);
              EXPECT_TRUE (processor.savePlaylist (dataFile ("list.xml")));
          }, "<playlist>\r\n  <file name=\"" + first.getFullPathName() + "\"/>\r\n  <file name=\"" + audio.getFullPathName()
             + "/b &amp; &#233;.aif\"/>\r\n  <file name=\"" + first.getFullPathName() + "\"/>\r\n</playlist>\r\n" },
    };

    for (const auto& row : rows)
    {
        dataFile ("data.xml").deleteFile();
        row.run();
        EXPECT_EQ (dataFile (row.file).loadFileAsString(), declaration + row.bytes) << row.file;
    }

    // A processor makes the (empty) data file at once; nothing else is written before the end.
    dataFile ("data.xml").deleteFile();
    dataFile (".config").deleteFile();
    ReplayProcessor processor;
    ConfigFile config ("Velorin");
    EXPECT_EQ (dataFile ("data.xml").getSize(), 0);
    EXPECT_FALSE (dataFile (".config").exists());
    EXPECT_FALSE (dataFile ("data.xml.bak").exists());
}

TEST_F (DataFilesTest, ValuesComeBackInTheNextRun)
{
    const auto song = audioFile ("song.wav");
    const juce::String accented (juce::CharPointer_UTF8 ("/home/m\xc3\xbasica/\xc3\xa1lbum & \"live\""));
    const auto sysex = juce::MidiMessage::createSysExMessage ("\x7d\x01", 2);
    {
        ReplayProcessor processor;
        processor.addFile (song);
        processor.playlist[0]->cue = 0.75f;
        processor.playlist[0]->loopA = 0.25f;
        processor.playlist[0]->loopB = 0.5f;
        processor.midiMap.mappings[1].message = MidiMap::messageText (sysex);
        ConfigFile config ("Velorin");
        config.setValue ("LastUsedFile", accented);
        config.setValue ("Empty", "");
    }

    ConfigFile config ("Velorin");
    EXPECT_EQ (config.getValue ("LastUsedFile"), accented);
    EXPECT_TRUE (config.settings.hasAttribute ("Empty"));

    ReplayProcessor processor;
    int action = -1;
    EXPECT_TRUE (processor.midiMap.handleMessage (sysex, action));
    EXPECT_EQ (action, 1);
    EXPECT_EQ (processor.midiMap.mappings[3].message, "");

    processor.addFile (song);
    processor.addFile (song);   // the same file twice reads the same element
    for (auto* entry : processor.playlist)
        EXPECT_TRUE (entry->cue == 0.75f && entry->loopA == 0.25f && entry->loopB == 0.5f && entry->position == 0.75f);

    // Entries are destroyed last to first, so the first entry's points win.
    processor.playlist[0]->cue = 0.125f;
    processor.playlist[1]->cue = 0.375f;
    processor.clearPlaylist();
    EXPECT_EQ (processor.dataRoot->getNumChildElements(), 1);
    EXPECT_EQ (processor.dataRoot->getChildElement (0)->getStringAttribute ("cue"), "0.125");
}

TEST_F (DataFilesTest, DamagedFilesAreKeptAsideAndOtherRootsRead)
{
    const auto song = audioFile ("song.wav");
    const auto key = keyOf (song);
    ASSERT_TRUE (privateHome.dataFolder().createDirectory());

    // Any root tag is read, and written back with what it held.
    dataFile ("midi.map").replaceWithText ("<other midi-1=\"fa\" midi-7=\"fb\"/>");
    dataFile ("data.xml").replaceWithText ("<points><" + key + " cue=\"0.5\"/><keep x=\"1\"/></points>");
    {
        ReplayProcessor processor;
        int action = -1;
        EXPECT_TRUE (processor.midiMap.handleMessage (juce::MidiMessage (0xfa), action) && action == 1);
        processor.addFile (song);
        EXPECT_EQ (processor.playlist[0]->cue, 0.5f);
    }
    const auto text = dataFile ("data.xml").loadFileAsString();
    EXPECT_TRUE (text.startsWith (declaration + "<points>") && text.contains ("<keep x=\"1\"/>")) << text;
    EXPECT_TRUE (text.contains ("cue=\"0.5\" name=\"" + song.getFullPathName() + "\"")) << text;
    EXPECT_FALSE (dataFile ("midi.map.bak").exists());

    // A file that does not parse is copied to .bak before it is overwritten.
    for (auto name : { "midi.map", "data.xml" })
        dataFile (name).replaceWithText ("<data midi-0=\"90 3c 7f\"><abc cue=\"1\"<<<<");
    {
        ReplayProcessor processor;
        EXPECT_EQ (processor.dataRoot->getNumChildElements(), 0);
        EXPECT_EQ (processor.midiMap.mappings[0].message, "");
        processor.addFile (song);
    }
    for (auto name : { "midi.map", "data.xml" })
        EXPECT_EQ (dataFile ((juce::String (name) + ".bak").toRawUTF8()).loadFileAsString(), "<data midi-0=\"90 3c 7f\"><abc cue=\"1\"<<<<");
    EXPECT_TRUE (dataFile ("data.xml").loadFileAsString().contains (key));
    EXPECT_TRUE (dataFile ("midi.map").loadFileAsString().contains ("<midimap"));

    // A file that can't be opened keeps its stored points.
    { ReplayProcessor processor; processor.addFile (song); processor.playlist[0]->cue = 0.5f; }
    ASSERT_TRUE (song.replaceWithText ("damaged"));
    { ReplayProcessor processor; processor.addFile (song); EXPECT_EQ (processor.playlist[0]->cue, 0.0f); processor.playlist[0]->cue = 0.25f; }
    audioFile ("song.wav");
    ReplayProcessor processor;
    processor.addFile (song);
    EXPECT_EQ (processor.playlist[0]->cue, 0.5f);
}

TEST_F (DataFilesTest, NothingIsWrittenWithoutTheDataFolder)
{
    { ConfigFile config ("Velorin"); config.setValue ("LastUsedPath", "/x"); }
    EXPECT_FALSE (privateHome.dataFolder().exists());
}
