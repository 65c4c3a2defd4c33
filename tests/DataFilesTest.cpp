#include "VelorinTest.h"
#include "ui/ConfigFile.h"

// The files the program writes (midi.map, .config, data.xml, playlists), byte for byte, what
// comes back from them in the next run, and what it makes of damaged or foreign ones.

using DataFilesTest = VelorinTest;

TEST_F (DataFilesTest, ExactBytes)
{
    { ConfigFile config ("Velorin"); config.setValue ("LastUsedPath", "/x"); }
    EXPECT_FALSE (privateHome.dataFolder().exists());   // without the data folder nothing is written
    ASSERT_TRUE (privateHome.dataFolder().createDirectory());
    const auto first = audioFile ("a-folder-with-a-rather-long-name-for-wrapping/first.wav"), second = audioFile ("a-folder-with-a-rather-long-name-for-wrapping/second.wav");
    const auto show = [&] (const char* name)
    {
        note (name, read (name).replace (keyOf (first), "first").replace (keyOf (second), "second"));
        dataFile ("data.xml").deleteFile();
    };
    const auto setConfig = [&] (const char* text, const char* key, const char* value)
    {
        dataFile (".config").replaceWithText (juce::String::fromUTF8 (text));
        {
            ConfigFile config ("Velorin");
            config.setValue ("LastUsedPath", "/music/a");
            config.setValue (key, config.getValue (key) + value);
            config.setValue ("LastUsedPath", config.getValue ("LastUsedPath") + "/b");   // keeps its place
        }
        show (".config");
    };
    { MidiMap map; map.mappings[0].message = "f0 7d 01 02 03 f7", map.mappings[1].message = "80 3c 00", map.mappings[2].message = "b1 07 64"; }
    show ("midi.map");
    setConfig ("<config/>", "LastUsedPlaylist", "/lists");
    setConfig ("\xef\xbb\xbf<settings Theme=\"dark\" LastUsedFile=\"/x\"><window w=\"3\"/></settings>", "LastUsedFile", "/z");   // after a byte-order mark; foreign parts stay
    setConfig ("<config LastUsedFile=\"/x\" <<", "LastUsedFile", "/f");   // damaged: empty settings
    {
        ReplayProcessor processor;
        processor.addFile (first), processor.addFile (second);
        processor.playlist[0]->cue = 1.5f, processor.playlist[0]->loopA = 0.1f, processor.playlist[1]->loopB = 2.25f;
    }
    show ("data.xml");
    {
        ReplayProcessor processor;
        for (auto& f : { first, audio.getChildFile (juce::CharPointer_UTF8 ("b & \xc3\xa9.aif")), first })
            processor.addFile (f);
        EXPECT_TRUE (processor.savePlaylist (dataFile ("list.xml")));
    }
    show ("list.xml");
    // At start: the (empty) data file, and what interrupted writes left is removed but for the one
    // of pid 1, which runs (its write may be under way); nothing else is written before the end.
    dataFile (".config").deleteFile();
    for (auto name : { "data_temp1a2b3c4d.xml", "midi_temp99.map", "_temp0f.config", "data.xml.tmp-999999999", "data.xml.tmp-1" })
        ASSERT_TRUE (dataFile (name).replaceWithText ("<data/>"));
    ReplayProcessor processor;
    ConfigFile config ("Velorin");
    juce::StringArray files;
    for (auto& f : privateHome.dataFolder().findChildFiles (juce::File::findFiles, false))
        files.add (f.getFileName() + (f.getSize() == 0 ? " (empty)" : ""));   // sizes would vary with the temporary HOME's name
    files.sort (false);
    note ("files at start", files.joinIntoString (", "));
}

TEST_F (DataFilesTest, TheNextRunReadsThemBack)
{
    const auto song = audioFile ("song.wav");
    const auto sysex = juce::MidiMessage::createSysExMessage ("\x7d\x01", 2);
    const auto describe = [&] (ReplayProcessor& processor)
    {
        int action = -1;
        juce::String text = "0xfa is action " + juce::String (processor.midiMap.handleMessage (juce::MidiMessage (0xfa), action) ? action : -1) + ", the SysEx action ";
        text << (processor.midiMap.handleMessage (sysex, action) ? action : -1) << ", mapping 3 \"" << processor.midiMap.mappings[3].message << "\"";
        processor.addFile (song), processor.addFile (song);   // the same file twice reads the same element
        for (auto* e : processor.playlist)
            text << " | cue " << e->cue.load() << " A-B " << e->loopA.load() << "-" << e->loopB.load() << " at " << e->position.load();
        return text;
    };
    {
        ReplayProcessor processor;
        processor.addFile (song);
        processor.playlist[0]->cue = 0.75f, processor.playlist[0]->loopA = 0.25f, processor.playlist[0]->loopB = 0.5f;
        processor.midiMap.mappings[1].message = MidiMap::messageText (sysex);
        ConfigFile config ("Velorin");
        config.setValue ("LastUsedFile", juce::CharPointer_UTF8 ("/home/m\xc3\xbasica/\xc3\xa1lbum & \"live\"")), config.setValue ("Empty", "");
    }
    ConfigFile config ("Velorin");
    note ("settings", config.getValue ("LastUsedFile") + ", " + juce::String ((int) config.settings.hasAttribute ("Empty")));
    ReplayProcessor processor;
    note ("next run", describe (processor));
    processor.playlist[0]->cue = 0.125f, processor.playlist[1]->cue = 0.375f;   // entries are destroyed last to first: the first one's points win
    processor.clearPlaylist();
    note ("data root", processor.dataRoot->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader()).replace (audio.getFullPathName(), "~/audio"));
    // Any root tag is read, after a byte-order mark too, and written back with what it held; a
    // file that does not parse is first copied to .bak.
    dataFile ("midi.map").replaceWithText (juce::String::fromUTF8 ("\xef\xbb\xbf<other midi-1=\"fa\" midi-7=\"fb\"/>"));
    dataFile ("data.xml").replaceWithText (juce::String::fromUTF8 ("\xef\xbb\xbf<points><") + keyOf (song) + " cue=\"0.5\"/><keep x=\"1\"/></points>");
    for (auto damaged : { false, true })
    {
        for (auto name : { "midi.map", "data.xml" })
            if (damaged)
                dataFile (name).replaceWithText ("<data midi-0=\"90 3c 7f\"><abc cue=\"1\"<<<<");
        { ReplayProcessor again; note (damaged ? "damaged files" : "other roots", describe (again)); }
        for (auto name : { "data.xml", "midi.map", "data.xml.bak", "midi.map.bak" })
            note (name, read (name).replace (keyOf (song), "song"));
    }
    // A file that can't be opened keeps its stored points.
    { ReplayProcessor again; again.addFile (song); again.playlist[0]->cue = 0.5f; }
    ASSERT_TRUE (song.replaceWithText ("damaged"));
    { ReplayProcessor again; again.addFile (song); again.playlist[0]->cue = 0.25f; }
    audioFile ("song.wav");
    { ReplayProcessor again; note ("repaired song", describe (again)); }
}
