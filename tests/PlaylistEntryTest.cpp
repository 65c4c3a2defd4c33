#include "VelorinTest.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::string_literals;

// One entry: its key, tags, length, stored points, loading, and the checks on what a file's
// header declares. Each step records the entry and the data root it reads and writes.

class PlaylistEntryTest : public VelorinTest
{
protected:
    PlaylistEntryTest()   { formats.registerBasicFormats(); }
    std::unique_ptr<PlaylistEntry> entry (const juce::File& file, const juce::String& what)
    {
        auto e = std::make_unique<PlaylistEntry> (file, &formats, &stores.emplace_back (&root));   // a fresh index each time: the tests edit the root
        e->load (512, 44100.0f);
        bool limited = false;
        PlaylistEntry::createCheckedReader (formats, file, &limited);
        note (what, "\"" + e->getTitle() + "\" by \"" + e->getArtist() + "\", " + juce::String (e->lengthSeconds) + (limited ? " s limited" : " s") + ", cue " + juce::String (e->cue.load()) + " A-B "
                        + juce::String (e->loopA.load()) + "-" + juce::String (e->loopB.load()) + ", at " + juce::String (e->position.load()) + " s, "
                        + (e->source != nullptr ? "loaded at " + juce::String (e->source->getNextReadPosition()) : "unloaded") + ", " + dataRoot());
        return e;
    }
    juce::String dataRoot() const   { return root.toString (juce::XmlElement::TextFormat().singleLine().withoutHeader()).replace (audio.getFullPathName(), "~/audio"); }
    juce::AudioFormatManager formats;
    juce::XmlElement root { "data" };
    std::list<PointStore> stores;
};

TEST_F (PlaylistEntryTest, KeysTagsLengthAndPoints)
{
    const auto wav = audioFile ("tagged.wav", 44100.0, 2, 1.5), aiff = audioFile ("take.aiff", 48000.0, 1, 0.5), plain = audioFile ("plain.wav", 44100.0, 2, 20.0);
    ASSERT_TRUE (testkit::setTags (wav, juce::CharPointer_UTF8 ("Caf\xc3\xa9 Song"), "The Band") && testkit::setTags (aiff, "Take", ""));
    entry (wav, "tagged WAV");   // destroyed before the next: it writes its points
    entry (aiff, "tagged AIFF");
    root.deleteAllChildElements();
    auto e = entry (plain, "new file");
    e->cue = 1.5f, e->loopA = 0.1f, e.reset();
    note ("destroyed", dataRoot());
    for (auto [name, value] : { std::pair ("p1", "-inf"), std::pair ("mine", "kept"), std::pair ("cue", "12.5") })
        root.getChildElement (0)->setAttribute (name, value);   // stored points come back; attributes keep their order, foreign ones stay
    e = entry (plain, "stored points");
    note ("positions", juce::String (e->source->secondsToPosition (std::numeric_limits<float>::quiet_NaN())) + " "
                           + juce::String (e->source->secondsToPosition (std::numeric_limits<float>::infinity())));
    e->source->setNextReadPosition (44100);
    note ("at sample 44100", juce::String (e->getPositionSeconds()));
    for (auto damaged : { "nan", "1e300", "-1e39" })
        root.getChildElement (0)->setAttribute ("cue", damaged), entry (plain, juce::String ("damaged cue ") + damaged).reset();
    // The key is the MD5 of as many bytes as the path has characters: files in a non-ASCII folder
    // share it, and keep their own points. An older element with no name goes to the first path that asks.
    const juce::String folder = juce::CharPointer_UTF8 ("\xd0\x9c\xd1\x83\xd0\xb7\xd1\x8b\xd0\xba\xd0\xb0/");
    const auto one = audioFile (folder + "track01.wav"), two = audioFile (folder + "track02.wav", 8000.0, 2, 0.1);
    ASSERT_EQ (keyOf (one), keyOf (two));
    e.reset(), root.deleteAllChildElements();
    entry (one, "first")->cue = 0.05f, entry (two, "second")->cue = 0.075f;
    entry (one, "first again"), entry (two, "second again");
    root.deleteAllChildElements();
    root.createNewChildElement (keyOf (two))->setAttribute ("cue", "0.025");
    entry (two, "claimed"), entry (one, "other");
}

TEST_F (PlaylistEntryTest, UnopenableFilesNeverTouchStoredPoints)
{
    // A file that opens only later (a drive mounted since) gets its stored points then, and stores what the user sets.
    const auto late = audio.getChildFile ("late.wav");
    root.createNewChildElement (keyOf (late))->setAttribute ("cue", "0.5");
    entry (late, "missing");
    auto e = entry (late, "missing again");   // the first left them as they were
    testkit::writeAudio (late, 8000.0, 2, 8000);
    e->load (512, 44100.0f);
    note ("opened late", juce::String (e->cue.load()) + ", " + juce::String (e->lengthSeconds.load()) + " s");
    e->loopB = 0.75f, e.reset();
    note ("destroyed", dataRoot());
    // Refused without hanging: a FIFO, a device, thousands of chunks (JUCE walks them on every load), AIFF of 0x7fff
    // bits (a reader loops forever), 0xff10 (no length), 12, or no channels. A header claiming more frames, or a last chunk
    // cut off (a partial download): the length it holds. Each file: a ramp of that many seconds (< 0: none), `bytes`
    // written at `at` or, after cutting -at bytes, appended.
    ASSERT_TRUE (mkfifo (audio.getChildFile ("fifo.wav").getFullPathName().toRawUTF8(), 0600) == 0 && juce::File ("/dev/zero").createSymbolicLink (audio.getChildFile ("device.wav"), true));
    const struct { const char* name; double seconds; int at = 0; std::string bytes = {}; } cases[] = {
        { "fifo.wav", -1 }, { "device.wav", -1 }, { "chunky.wav", 0.1, 0, [] { std::string s; for (int i = 0; i < 5000; ++i) s += "junk\0\0\0\0"s; return s; }() },
        { "COMM 14 = 7fff.aif", 0.1, 26, "\x7f\xff" }, { "COMM 14 = ff10.aif", 0.1, 26, "\xff\x10" }, { "COMM 14 = c.aif", 0.1, 26, "\0\x0c"s }, { "COMM 8 = 0.aif", 0.1, 20, "\0\0"s },
        { "cut in half.wav", 1, -16000 }, { "partial.wav", 1, 0, "LIST\0\0\0\x40" "0123456789"s }, { "partial.aif", 1, 0, "COMT\x40\0\0\0" "0123456789"s }, { "empty.wav", 0 } };   // 10 of 1 GiB
    auto checks = std::async (std::launch::async, [&]
    {
        for (const auto& c : cases)
        {
            juce::MemoryBlock b;
            if (c.seconds >= 0 && audioFile (c.name, 8000.0, 2, c.seconds, 16).loadFileAsData (b))
                c.at > 0 ? b.copyFrom (c.bytes.data(), c.at, c.bytes.size()) : (b.setSize (b.getSize() - (size_t) -c.at), b.append (c.bytes.data(), c.bytes.size())),
                    audio.getChildFile (c.name).replaceWithData (b.getData(), b.getSize());
            root.deleteAllChildElements(), entry (audio.getChildFile (c.name), c.name);
        }
    });
    if (checks.wait_for (std::chrono::seconds (60)) != std::future_status::ready)
        std::cerr << "A file hung the test" << std::endl, std::_Exit (1);
}

TEST_F (PlaylistEntryTest, MetadataChunksNeverReachTheReader)
{
    // 100,000 cue points: JUCE's reader would parse each into its metadata.
    const auto file = audioFile ("cued.wav", 8000.0, 2, 0.5);
    juce::MemoryOutputStream cues;
    cues.writeInt (100000);
    cues.writeRepeatedByte (0, 100000 * 24);
    ASSERT_TRUE (testkit::insertChunk (file, "cue ", cues.getMemoryBlock()));

    const auto reader = PlaylistEntry::createCheckedReader (formats, file);
    ASSERT_NE (reader, nullptr);
    EXPECT_EQ (reader->metadataValues.size(), 0) << "metadata values";
    EXPECT_EQ (reader->lengthInSamples, 4000);
    juce::AudioBuffer<float> samples (2, 4000);
    reader->read (&samples, 0, 4000, 0, true, true);
    EXPECT_EQ (samples.getSample (1, 3999), testkit::rampValue (1, 3999)) << "last sample";
}

TEST_F (PlaylistEntryTest, TagsInAnyScriptReadBackCutToTheirLimit)
{
    const juce::String title = juce::CharPointer_UTF8 ("Καλημέρα Песня 東京の歌");
    const juce::String artist = juce::CharPointer_UTF8 ("Группа 乐队 𝄞");
    const auto longTitle = juce::String::repeatedString (juce::CharPointer_UTF8 ("Ж"), 5000);
    const auto tagged = audioFile ("tagged.wav"), longTagged = audioFile ("long.aiff");
    ASSERT_TRUE (testkit::setTags (tagged, title, artist));
    ASSERT_TRUE (testkit::setTags (longTagged, longTitle, ""));

    const PlaylistEntry entry (tagged, &formats, nullptr), longEntry (longTagged, &formats, nullptr);
    EXPECT_EQ (entry.getTitle(), title);
    EXPECT_EQ (entry.getArtist(), artist);
    EXPECT_EQ (longEntry.getTitle(), longTitle.substring (0, PlaylistEntry::maxTagCharacters));
}

TEST_F (PlaylistEntryTest, FilesAreOpenedForReadingOnly)
{
    const auto wav = audioFile ("a.wav"), aiff = audioFile ("b.aiff");
    ASSERT_TRUE (testkit::setTags (wav, "Title", "Artist"));
    const int watch = inotify_init1 (IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE (inotify_add_watch (watch, audio.getFullPathName().toRawUTF8(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE), 0);

    for (const auto& file : { wav, aiff })
        PlaylistEntry (file, &formats, nullptr).load (512, 44100.0f);

    int closes = 0;
    juce::StringArray written;
    alignas (inotify_event) char buffer[4096];
    const auto size = ::read (watch, buffer, sizeof (buffer));
    close (watch);

    for (ssize_t at = 0; at < size;)
    {
        const auto* event = reinterpret_cast<const inotify_event*> (buffer + at);
        ++closes;

        if ((event->mask & IN_CLOSE_WRITE) != 0)
            written.add (event->name);

        at += (ssize_t) sizeof (inotify_event) + event->len;
    }

    EXPECT_GT (closes, 0) << "files closed";
    EXPECT_EQ (written.joinIntoString (" "), juce::String()) << "files closed after writing";
}
