#include "VelorinTest.h"
#include "ui/ConfigFile.h"

// The files the program writes (midi.map, .config, data.xml, playlists), byte for byte, and
// what it makes of damaged or foreign ones.

using DataFilesTest = VelorinTest;

TEST_F (DataFilesTest, ExactBytes)
{
    const auto first = audioFile ("a-folder-with-a-rather-long-name-for-wrapping/first.wav");
    const auto second = audioFile ("a-folder-with-a-rather-long-name-for-wrapping/second.wav");
    ASSERT_TRUE (privateHome.dataFolder().createDirectory());
    const juce::uint8 sysex[] = { 0x7d, 1, 2, 3 };
    const std::pair<const char*, std::function<void()>> rows[] = {
        { "midi.map", [] { MidiMap map; } },
        { "midi.map", [&]
          {
              MidiMap map;
              map.mappings[0].message = MidiMap::messageText (juce::MidiMessage::createSysExMessage (sysex, 4));
              map.mappings[1].message = MidiMap::messageText (juce::MidiMessage::noteOff (1, 60, (juce::uint8) 0));
              map.mappings[2].message = MidiMap::messageText (juce::MidiMessage::controllerEvent (2, 7, 100));
          } },
        { ".config", [] { ConfigFile config ("Velorin"); } },
        { ".config", []
          {
              ConfigFile config ("Velorin");
              config.setValue ("LastUsedPath", "/music/a");
              config.setValue ("LastUsedPlaylist", "/lists");
              config.setValue ("LastUsedPath", "/music/b");   // keeps its place
          } },
        { ".config", [this]   // foreign attributes, children and root are kept
          {
              dataFile (".config").replaceWithText ("<settings Theme=\"dark\" LastUsedPath=\"/x\"><window w=\"3\"/></settings>");
              ConfigFile config ("Velorin");
              config.setValue ("LastUsedFile", config.getValue ("LastUsedPath") + "/z");
              config.setValue ("LastUsedPath", "/y");
          } },
        { ".config", [this]   // a damaged file gives empty settings
          {
              dataFile (".config").replaceWithText ("<config LastUsedPath=\"/x\" <<");
              ConfigFile config ("Velorin");
              config.setValue ("LastUsedFile", "/f" + config.getValue ("LastUsedPath"));
          } },
        { "data.xml", [] { ReplayProcessor processor; } },
        { "data.xml", [&]
          {
              ReplayProcessor processor;
              processor.addFile (first);
              processor.addFile (second);
              processor.playlist[0]->cue = 1.5f;
              processor.playlist[0]->loopA = 0.1f;
              processor.playlist[1]->loopB = 2.25f;
          } },
        { "list.xml", [this] { EXPECT_TRUE (ReplayProcessor().savePlaylist (dataFile ("list.xml"))); } },
        { "list.xml", [&]
          {
              ReplayProcessor processor;
              for (auto& f : { first, audio.getChildFile (juce::CharPointer_UTF8 ("b & \xc3\xa9.aif")), first })
                  processor.addFile (f);
              EXPECT_TRUE (processor.savePlaylist (dataFile ("list.xml")));
          } },
    };
    for (const auto& [file, run] : rows)
    {
        dataFile ("data.xml").deleteFile();
        run();
        note (file, read (file).replace (keyOf (first), "first").replace (keyOf (second), "second"));
    }

    // A processor makes the (empty) data file at once; nothing else is written before the end.
    dataFile ("data.xml").deleteFile();
    dataFile (".config").deleteFile();
    ReplayProcessor processor;
    ConfigFile config ("Velorin");
    EXPECT_EQ (dataFile ("data.xml").getSize(), 0);
    EXPECT_FALSE (dataFile (".config").exists() || dataFile ("data.xml.bak").exists());
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
    EXPECT_TRUE (processor.midiMap.handleMessage (sysex, action) && action == 1);
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
    { ConfigFile config ("Velorin"); config.setValue ("LastUsedPath", "/x"); }
    EXPECT_FALSE (privateHome.dataFolder().exists());   // without the data folder nothing is written

    const auto song = audioFile ("song.wav");
    ASSERT_TRUE (privateHome.dataFolder().createDirectory());
    dataFile ("midi.map").replaceWithText ("<other midi-1=\"fa\" midi-7=\"fb\"/>");
    dataFile ("data.xml").replaceWithText ("<points><" + keyOf (song) + " cue=\"0.5\"/><keep x=\"1\"/></points>");
    for (auto damaged : { false, true })
    {
        for (auto name : { "midi.map", "data.xml" })   // a file that does not parse is copied to .bak before it is overwritten
            if (damaged)
                dataFile (name).replaceWithText ("<data midi-0=\"90 3c 7f\"><abc cue=\"1\"<<<<");
        {
            ReplayProcessor processor;
            int action = -1;
            processor.addFile (song);
            note ("read", "fa is action " + juce::String (processor.midiMap.handleMessage (juce::MidiMessage (0xfa), action) ? action : -1)
                              + ", cue " + juce::String (processor.playlist[0]->cue.load()) + ", mapping 0 \"" + processor.midiMap.mappings[0].message + "\"");
        }
        for (auto name : { "data.xml", "midi.map", "data.xml.bak", "midi.map.bak" })
            note (name, read (name).replace (keyOf (song), "song"));
    }

    // A file that can't be opened keeps its stored points.
    ASSERT_TRUE (song.replaceWithText ("damaged"));
    { ReplayProcessor processor; processor.addFile (song); note ("damaged song, cue", juce::String (processor.playlist[0]->cue.load())); processor.playlist[0]->cue = 0.25f; }
    audioFile ("song.wav");
    ReplayProcessor processor;
    processor.addFile (song);
    note ("repaired song, cue", juce::String (processor.playlist[0]->cue.load()));
}
