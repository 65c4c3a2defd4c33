#include "VelorinTest.h"
#include "engine/XmlFiles.h"
#include "ui/ConfigFile.h"
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

// The files the program writes (midi.map, .config, data.xml, playlists), byte for byte, what comes back from them
// in the next run, also from copies running side by side, and what it makes of damaged or foreign ones.

using DataFilesTest = VelorinTest;

TEST_F (DataFilesTest, ExactBytes)
{
    { ConfigFile config ("Velorin"); config.setValue ("LastUsedPath", "/x"); }
    EXPECT_FALSE (privateHome.dataFolder().exists());   // without the data folder nothing is written
    ASSERT_TRUE (privateHome.dataFolder().createDirectory());
    const juce::String folder = "a-folder-with-a-rather-long-name-for-wrapping/";
    const auto first = audioFile (folder + "first.wav"), second = audioFile (folder + "second.wav");
    const auto show = [&] (const char* name)   { note (name, read (name).replace (keyOf (first), "first").replace (keyOf (second), "second")), dataFile ("data.xml").deleteFile(); };
    { MidiMap map; map.setMessage (0, "f0 7d 01 02 03 f7"), map.setMessage (1, "80 3c 00"), map.setMessage (2, "b1 07 64"); }
    show ("midi.map");
    for (auto [text, key, value] : { std::tuple ("<config/>", "LastUsedPlaylist", "/lists"),
                                     std::tuple ("\xef\xbb\xbf<settings Theme=\"dark\" LastUsedFile=\"/x\"><window w=\"3\"/></settings>", "LastUsedFile", "/z"),   // foreign parts stay
                                     std::tuple ("<config LastUsedFile=\"/x\" <<", "LastUsedFile", "/f") })   // damaged: empty settings
    {
        dataFile (".config").replaceWithText (juce::String::fromUTF8 (text));
        auto config = std::make_unique<ConfigFile> ("Velorin");
        config->setValue ("LastUsedPath", "/music/a"), config->setValue (key, config->getValue (key) + value);
        config->setValue ("LastUsedPath", config->getValue ("LastUsedPath") + "/b"), config.reset(), show (".config");   // it keeps its place
    }
    auto processor = std::make_unique<ReplayProcessor>();
    for (auto& f : { first, second, audio.getChildFile (juce::CharPointer_UTF8 ("b & \xc3\xa9.aif")), first })
        processor->addFile (f);
    processor->playlist[0]->cue = 1.5f, processor->playlist[0]->loopA = 0.1f, processor->playlist[1]->loopB = 2.25f;
    EXPECT_TRUE (processor->savePlaylist (dataFile ("list.xml")));
    processor.reset(), show ("data.xml"), show ("list.xml");
    // At start: the (empty) data file, and what interrupted writes left is removed, whatever pid
    // its name holds (no writer holds a lock on it); nothing else is written before the end.
    dataFile (".config").deleteFile();
    for (auto name : { "data_temp1a2b3c4d.xml", "midi_temp99.map", "_temp0f.config", "data.xml.tmp-999999999", "data.xml.tmp-1" })
        ASSERT_TRUE (dataFile (name).replaceWithText ("<data/>"));
    processor = std::make_unique<ReplayProcessor>();
    ConfigFile config ("Velorin");
    juce::StringArray files;
    for (auto& f : privateHome.dataFolder().findChildFiles (juce::File::findFiles, false))
        files.add (f.getFileName() + (f.getSize() == 0 ? " (empty)" : ""));   // sizes would vary with the temporary HOME's name
    files.sort (false);
    note ("files at start", files.joinIntoString (", "));
}

TEST_F (DataFilesTest, TheNextRunReadsThemBack)
{
    const auto song = audioFile ("song.wav"), other = audioFile ("other.wav");
    const auto sysex = juce::MidiMessage::createSysExMessage ("\x7d\x01", 2);
    const auto describe = [&] (auto&& processor)
    {
        int action = -1;
        juce::String text = "0xfa is action " + juce::String (processor.midiMap.handleMessage (juce::MidiMessage (0xfa), action) ? action : -1) + ", the SysEx action ";
        text << (processor.midiMap.handleMessage (sysex, action) ? action : -1) << ", mapping 3 \"" << processor.midiMap.getMessage (3) << "\"";
        processor.addFile (song), processor.addFile (song), processor.addFile (other);   // the same file twice reads the same element
        for (auto* e : processor.playlist)
            text << " | cue " << e->cue.load() << " A-B " << e->loopA.load() << "-" << e->loopB.load() << " at " << e->position.load();
        return text;
    };
    {
        // Copies side by side keep each other's changes; for a file changed in both, the last to quit wins.
        ReplayProcessor last, first;
        first.addFile (song), first.addFile (other), last.addFile (song), last.addFile (other);
        first.playlist[0]->cue = 0.75f, first.playlist[0]->loopA = 0.25f, first.playlist[0]->loopB = 0.5f, first.playlist[1]->cue = 0.625f;
        first.midiMap.setMessage (1, MidiMap::messageText (sysex)), last.midiMap.setMessage (3, "b0 01 7f");
        last.playlist[1]->cue = 0.875f;
        ConfigFile config ("Velorin");
        config.setValue ("LastUsedFile", juce::CharPointer_UTF8 ("/home/m\xc3\xbasica/\xc3\xa1lbum & \"live\"")), config.setValue ("Empty", "");
    }
    ConfigFile config ("Velorin");
    note ("settings", config.getValue ("LastUsedFile") + ", " + juce::String ((int) config.settings.hasAttribute ("Empty")));
    ReplayProcessor processor;
    note ("next run", describe (processor));
    processor.playlist[0]->cue = 0.125f, processor.playlist[1]->cue = 0.375f;   // rows of one file share their points
    processor.clearPlaylist();
    note ("data root", processor.dataRoot->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader()).replace (audio.getFullPathName(), "~/audio"));
    // Any root tag is read, after a byte-order mark too, and written back with what it held; one that does not parse is copied to .bak.
    dataFile ("midi.map").replaceWithText (juce::String::fromUTF8 ("\xef\xbb\xbf<other midi-1=\"fa\" midi-7=\"fb\"/>"));
    dataFile ("data.xml").replaceWithText (juce::String::fromUTF8 ("\xef\xbb\xbf<points><") + keyOf (song) + " cue=\"0.5\"/><keep x=\"1\"/></points>");
    for (auto damaged : { false, true })
    {
        for (auto name : { "midi.map", "data.xml" })
            if (damaged)
                dataFile (name).replaceWithText ("<data midi-0=\"90 3c 7f\"><abc cue=\"1\"<<<<");
        note (damaged ? "damaged files" : "other roots", describe (ReplayProcessor()));
        for (auto name : { "data.xml", "midi.map", "data.xml.bak", "midi.map.bak" })
            note (name, read (name).replace (keyOf (song), "song").replace (keyOf (other), "other"));
    }
    // A file that can't be opened keeps its stored points.
    { ReplayProcessor again; again.addFile (song); again.playlist[0]->cue = 0.5f; }
    ASSERT_TRUE (song.replaceWithText ("damaged"));
    { ReplayProcessor again; again.addFile (song); again.playlist[0]->cue = 0.25f; }
    audioFile ("song.wav");
    note ("repaired song", describe (ReplayProcessor()));
}

TEST_F (DataFilesTest, TwoCopiesQuittingTogetherKeepBothCopiesChanges)
{
    const juce::File songs[] { audioFile ("one.wav"), audioFile ("two.wav") };
    ASSERT_TRUE (privateHome.dataFolder().createDirectory());

    for (int round = 0; round < 20; ++round)
    {
        dataFile ("data.xml").deleteFile();
        dataFile ("midi.map").deleteFile();
        int ready[2], go[2];
        ASSERT_EQ (pipe (ready), 0);
        ASSERT_EQ (pipe (go), 0);
        pid_t copies[2];

        // Each copy sets the cue of its own file and learns its own row, waits until both
        // are ready, and quits.
        for (int i = 0; i < 2; ++i)
        {
            copies[i] = fork();

            if (copies[i] == 0)
            {
                auto processor = std::make_unique<ReplayProcessor>();
                processor->addFile (songs[i]);
                processor->playlist[0]->cue = 0.5f;
                processor->midiMap.setMessage (i, "b0 01 7f");
                char byte = 0;
                const bool released = ::write (ready[1], &byte, 1) == 1 && ::read (go[0], &byte, 1) == 1;
                processor.reset();
                _exit (released ? 0 : 1);
            }
        }

        char bytes[2] = {};
        const bool bothReady = ::read (ready[0], bytes, 1) == 1 && ::read (ready[0], bytes + 1, 1) == 1;
        const bool released = ::write (go[1], bytes, 2) == 2;
        EXPECT_TRUE (bothReady && released) << "round " << round << ": the copies did not start together";

        for (auto copy : copies)
        {
            int status = -1;
            waitpid (copy, &status, 0);
            EXPECT_EQ (status, 0) << "round " << round << ": a copy did not end normally";
        }

        for (auto fd : { ready[0], ready[1], go[0], go[1] })
            close (fd);

        const auto data = XmlFiles::parseFile (dataFile ("data.xml"));
        const auto map = XmlFiles::parseFile (dataFile ("midi.map"));
        ASSERT_TRUE (data != nullptr && map != nullptr) << "round " << round;

        for (int i = 0; i < 2; ++i)
        {
            const auto* element = data->getChildByName (keyOf (songs[i]));
            const auto cue = element != nullptr ? element->getStringAttribute ("cue") : "none";
            EXPECT_EQ (cue, "0.5") << "round " << round << ": cue of file " << i;
            const auto row = map->getStringAttribute ("midi-" + juce::String (i));
            EXPECT_EQ (row, "b0 01 7f") << "round " << round << ": row " << i;
        }
    }
}

TEST_F (DataFilesTest, ACopyThatCannotGetTheLockLeavesTheFileAlone)
{
    ASSERT_TRUE (privateHome.dataFolder().createDirectory());
    ASSERT_TRUE (dataFile ("midi.map").replaceWithText ("<midimap midi-0=\"90 3c 7f\"/>"));
    MidiMap map;
    map.setMessage (0, "b0 01 7f");
    {
        const XmlFiles::WriteLock anotherCopys;
        map.write();
    }
    EXPECT_EQ (dataFile ("midi.map").loadFileAsString(), "<midimap midi-0=\"90 3c 7f\"/>");
}

TEST_F (DataFilesTest, TheStartUpCleanupRemovesOnlyTemporaryFilesOfOursThatNoOneWrites)
{
    ASSERT_TRUE (privateHome.dataFolder().createDirectory());
    const juce::StringArray kept { "my-notes.txt.tmp-4000000", "presets.xml.tmp-0", "recording.tmp-12",
                                   "data_temp (my copy).xml", "midi_temp-keep.map", "_temp_my_settings.config",
                                   "midi.map.tmp-77" };
    const juce::StringArray removed { "data.xml.tmp-1", "midi.map.tmp-999999999", ".config.bak.tmp-5",
                                      "data_temp1a2B3c.xml", "midi_temp99.map", "_temp0f.config" };
    for (auto* names : { &kept, &removed })
        for (auto& name : *names)
            ASSERT_TRUE (privateHome.dataFolder().getChildFile (name).replaceWithText ("<data/>")) << name;

    // midi.map.tmp-77 is being written by a copy in another PID namespace, which holds a lock on it.
    const int writer = open (dataFile ("midi.map.tmp-77").getFullPathName().toRawUTF8(), O_WRONLY | O_CLOEXEC);
    ASSERT_EQ (flock (writer, LOCK_EX), 0);
    ReplayProcessor processor;
    close (writer);

    for (auto& name : kept)
        EXPECT_TRUE (privateHome.dataFolder().getChildFile (name).exists()) << name << " was removed";
    for (auto& name : removed)
        EXPECT_FALSE (privateHome.dataFolder().getChildFile (name).exists()) << name << " was kept";
}

TEST_F (DataFilesTest, ALinkedDataFileStaysALinkAndItsTargetGetsTheContent)
{
    const auto dotfiles = home.getChildFile ("dotfiles");
    ASSERT_TRUE (dotfiles.createDirectory());
    ASSERT_TRUE (privateHome.dataFolder().createDirectory());
    for (auto name : { "data.xml", "midi.map", ".config" })   // relative, as dotfiles managers make them
    {
        const auto target = juce::String ("../../../dotfiles/") + name;
        ASSERT_EQ (symlink (target.toRawUTF8(), dataFile (name).getFullPathName().toRawUTF8()), 0) << name;
    }

    {
        ReplayProcessor processor;
        processor.addFile (audioFile ("song.wav"));
        processor.playlist[0]->cue = 0.5f;
        processor.midiMap.setMessage (0, "b0 01 7f");
        ConfigFile config ("Velorin");
        config.setValue ("LastUsedPath", "/music");
    }

    for (auto [name, content] : { std::pair ("data.xml", "cue=\"0.5\""), { "midi.map", "b0 01 7f" },
                                  { ".config", "/music" } })
    {
        EXPECT_TRUE (dataFile (name).isSymbolicLink()) << name << " is no longer a link";
        EXPECT_TRUE (dotfiles.getChildFile (name).loadFileAsString().contains (content)) << name << "'s target";
    }
}
