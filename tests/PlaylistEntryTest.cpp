#include "VelorinTest.h"

#include <filesystem>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace juce;
using namespace std::string_literals;

// One entry: its length in every sample format, its stored points, and what it makes of files that never open or
// whose header declares what they don't hold. (Keys shared by paths beyond ASCII: DataFilesTest.)

struct PlaylistEntryTest : VelorinTest
{
    PlaylistEntryTest() { formats.registerBasicFormats(); }

    /** Loads the entry and notes its length and where it plays from. */
    void load (PlaylistEntry& e, const String& what)
    {
        e.load (512, 44100.0f);
        const auto from = e.hasOpened() ? ", plays from " + String (e.getPositionSeconds()) : ", not loaded";
        note (what, String (e.lengthSeconds.load()) + " s" + from);
    }

    /** Makes and loads an entry, with its points in the store if one is given. */
    std::unique_ptr<PlaylistEntry> entry (const File& file, const String& what, PointStore* store = nullptr)
    {
        auto e = std::make_unique<PlaylistEntry> (file, &formats, store);
        load (*e, what);
        return e;
    }

    AudioFormatManager formats;
};

TEST_F (PlaylistEntryTest, EveryFormatShowsTheLengthItHolds)
{
    // Whole, with an odd-sized chunk and its pad byte before the audio, then cut in half as a partial download is.
    for (auto name :
         { "8-bit.wav", "16-bit.wav", "24-bit.wav", "32-bit float.wav", "8-bit.aiff", "16-bit.aiff", "24-bit.aiff" })
    {
        const auto file = audioFile (name, 8000.0, 2, 0.5, String (name).getIntValue());
        testkit::insertChunk (file, "odd ", MemoryBlock (1));
        entry (file, name);
        std::filesystem::resize_file (file.getFullPathName().toStdString(), file.getSize() / 2);
        entry (file, "  cut in half");
    }
}

TEST_F (PlaylistEntryTest, UnopenableFilesNeverTouchStoredPoints)
{
    // A file that opens only later (a drive mounted since) gets its stored points then, a damaged one as 0, and stores
    // what the user sets, the attributes in their order, a foreign one kept.
    const auto late = audio.getChildFile ("late.wav");
    const auto root = parseXML ("<data><" + keyOf (late) + " cue=\"0.5\" p2=\"1e300\" mine=\"kept\"/></data>");
    PointStore store (root.get());
    entry (late, "missing", &store);
    auto e = entry (late, "missing again", &store);
    testkit::writeAudio (late, 8000.0, 2, 8000);
    load (*e, "opened late");
    e->loopA = 0.1f;
    e.reset();
    const auto stored = home.getChildFile ("data.xml");
    root->writeTo (stored);
    note ("gone", read (stored));
}

TEST_F (PlaylistEntryTest, HostileFilesAreRefusedOrCutToWhatTheyHold)
{
    // Refused without hanging: a FIFO, thousands of chunks (JUCE walks them on every load), AIFF of 0xff10 bits (no
    // length), 12, or no channels (of 0x7fff a reader loops forever: tests/fuzz-regressions). A last chunk cut off (a
    // partial download): the length it holds. Each case is a ramp of a second with `bytes` written at `at`, or at the
    // end.
    const auto fifo = audio.getChildFile ("fifo.wav");
    mkfifo (fifo.getFullPathName().toRawUTF8(), 0600);
    entry (fifo, "fifo.wav");
    const std::tuple<const char*, int, std::string> cases[] = { { "chunky.wav", -1, std::string (40000, '\0') },
                                                                { "COMM 14 = ff10.aif", 26, "\xff\x10" },
                                                                { "COMM 14 = c.aif", 26, "\0\x0c"s },
                                                                { "COMM 8 = 0.aif", 20, "\0\0"s },
                                                                { "partial.wav", -1,
                                                                  "LIST\0\0\0\x40"
                                                                  "0123456789"s },
                                                                { "partial.aif", -1,
                                                                  "COMT\x40\0\0\0"
                                                                  "0123456789"s } };

    for (const auto& [name, at, bytes] : cases)
    {
        const auto file = audioFile (name);
        {
            FileOutputStream out (file);   // at its end

            if (at >= 0)
                out.setPosition (at);

            out.write (bytes.data(), bytes.size());
        }
        entry (file, name);
    }
}

TEST_F (PlaylistEntryTest, MetadataChunksNeverReachTheReader)
{
    // 100,000 cue points: JUCE's reader would parse each into its metadata.
    const auto file = audioFile ("cued.wav");
    MemoryOutputStream cues;
    cues.writeInt (100000);
    cues.writeRepeatedByte (0, 100000 * 24);
    testkit::insertChunk (file, "cue ", cues.getMemoryBlock());

    const auto reader = PlaylistEntry::createCheckedReader (formats, file);
    ASSERT_NE (reader, nullptr);
    EXPECT_EQ (reader->metadataValues.size(), 0);
}

TEST_F (PlaylistEntryTest, FilesAreOpenedForReadingOnlyAndTagsInAnyScriptReadBackCutToTheirLimit)
{
    // The title is cut between the two halves of a character beyond 16 bits: the whole character goes.
    const String artist = CharPointer_UTF8 ("\xce\x9a\xce\xb1\xce\xbb\xce\xb7\xce\xbc\xce\xad\xcf\x81\xce\xb1 "
                                            "\xd0\x9f\xd0\xb5\xd1\x81\xd0\xbd\xd1\x8f \xe6\x9d\xb1\xe4\xba\xac "
                                            "\xf0\x9d\x84\x9e");
    const auto title = "a" + String::repeatedString (artist.getLastCharacters (1), 5000);

    for (auto name : { "a.wav", "b.aiff" })
        testkit::setTags (audioFile (name), title, artist);

    const int watch = inotify_init1 (IN_NONBLOCK);
    const auto watched = inotify_add_watch (watch, audio.getFullPathName().toRawUTF8(), IN_CLOSE_WRITE);
    ASSERT_GE (watched, 0);

    for (auto name : { "a.wav", "b.aiff" })
    {
        const auto e = entry (audio.getChildFile (name), name);
        EXPECT_EQ (e->getTitle(), title.substring (0, 4096)) << name;
        note ("  by", e->getArtist());
    }

    char events[4096];
    const auto size = ::read (watch, events, sizeof (events));
    close (watch);
    EXPECT_EQ (size, -1) << "a file was closed after writing";
}
