#include "VelorinTest.h"

#include <filesystem>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::string_literals;

// One entry: its length in every sample format, its stored points, and what it makes of files that never open or
// whose header declares what they don't hold. (Keys shared by paths beyond ASCII: DataFilesTest.)

class PlaylistEntryTest : public VelorinTest
{
protected:
    PlaylistEntryTest()   { formats.registerBasicFormats(); }

    /** Makes and loads an entry over the data root (indexed anew: the tests edit the root), and notes it. */
    std::unique_ptr<PlaylistEntry> entry (const juce::File& file, const juce::String& what)
    {
        auto e = std::make_unique<PlaylistEntry> (file, &formats, &stores.emplace_back (&root));
        e->load (512, 44100.0f);
        noteEntry (what, *e);
        return e;
    }

    /** Notes an entry's length, its cue, where it plays from, and the data root. */
    void noteEntry (const juce::String& what, const PlaylistEntry& e)
    {
        note (what, juce::String (e.lengthSeconds.load()) + " s, cue " + juce::String (e.cue.load())
                        + (e.source != nullptr ? ", plays from " : ", not loaded, at ")
                        + juce::String (e.getPositionSeconds()) + ", " + dataRoot());
    }

    juce::String dataRoot() const
    {
        const auto format = juce::XmlElement::TextFormat().singleLine().withoutHeader();
        return root.toString (format).replace (audio.getFullPathName(), "~/audio");
    }

    juce::AudioFormatManager formats;
    juce::XmlElement root { "data" };
    std::list<PointStore> stores;
};

TEST_F (PlaylistEntryTest, EveryFormatShowsTheLengthItHoldsAndStoredPointsComeBack)
{
    // Whole, and cut in half as a partial download is: then the length it holds.
    for (auto name : { "8-bit.wav", "16-bit.wav", "24-bit.wav", "32-bit float.wav", "8-bit.aiff", "16-bit.aiff",
                       "24-bit.aiff" })
    {
        root.deleteAllChildElements();
        const auto file = audioFile (name, 8000.0, 2, 0.5, juce::String (name).getIntValue());
        entry (file, name);
        std::filesystem::resize_file (file.getFullPathName().toStdString(), (std::uintmax_t) file.getSize() / 2);
        entry (file, "  cut in half");
    }

    entry (audioFile ("empty.wav", 8000.0, 2, 0.0), "no frames");

    // Its element is made at once, named by the path; the points go into it when the entry goes.
    root.deleteAllChildElements();
    const auto plain = audioFile ("plain.wav", 8000.0, 2, 20.0);
    auto e = entry (plain, "new file");
    e->cue = 1.5f;
    e->loopA = 0.1f;
    e.reset();
    note ("gone", dataRoot());

    // Stored points come back; the attributes keep their order, foreign ones stay, a damaged point reads as 0.
    auto* element = root.getChildElement (0);
    element->setAttribute ("p1", "-inf");
    element->setAttribute ("p2", "1e300");
    element->setAttribute ("mine", "kept");
    element->setAttribute ("cue", "12.5");
    entry (plain, "stored points");
    note ("gone", dataRoot());
}

TEST_F (PlaylistEntryTest, UnopenableFilesNeverTouchStoredPoints)
{
    // A file that opens only later (a drive mounted since) gets its stored points then, and stores what the user sets.
    const auto late = audio.getChildFile ("late.wav");
    root.createNewChildElement (keyOf (late))->setAttribute ("cue", "0.5");
    entry (late, "missing");
    auto e = entry (late, "missing again");
    testkit::writeAudio (late, 8000.0, 2, 8000);
    e->load (512, 44100.0f);
    noteEntry ("opened late", *e);
    e->loopB = 0.75f;
    e.reset();
    note ("gone", dataRoot());
}

TEST_F (PlaylistEntryTest, HostileFilesAreRefusedOrCutToWhatTheyHold)
{
    // Refused without hanging: a FIFO, thousands of chunks (JUCE walks them on every load), AIFF of 0x7fff bits (a
    // reader loops forever), 0xff10 (no length), 12, or no channels. A last chunk cut off (a partial download): the
    // length it holds. Each case is a ramp of a second with `bytes` written at `at`, or at the end.
    mkfifo (audio.getChildFile ("fifo.wav").getFullPathName().toRawUTF8(), 0600);
    entry (audio.getChildFile ("fifo.wav"), "fifo.wav");
    const struct { const char* name; int at; std::string bytes; } cases[] = {
        { "chunky.wav", -1, std::string (40000, '\0') }, { "COMM 14 = 7fff.aif", 26, "\x7f\xff" },
        { "COMM 14 = ff10.aif", 26, "\xff\x10" }, { "COMM 14 = c.aif", 26, "\0\x0c"s }, { "COMM 8 = 0.aif", 20, "\0\0"s },
        { "partial.wav", -1, "LIST\0\0\0\x40" "0123456789"s }, { "partial.aif", -1, "COMT\x40\0\0\0" "0123456789"s } };

    for (const auto& c : cases)
    {
        const auto file = audioFile (c.name);
        {
            juce::FileOutputStream out (file);   // at its end

            if (c.at >= 0)
                out.setPosition (c.at);

            out.write (c.bytes.data(), c.bytes.size());
        }
        entry (file, c.name);
    }
}

TEST_F (PlaylistEntryTest, MetadataChunksNeverReachTheReader)
{
    // 100,000 cue points: JUCE's reader would parse each into its metadata.
    const auto file = audioFile ("cued.wav");
    juce::MemoryOutputStream cues;
    cues.writeInt (100000);
    cues.writeRepeatedByte (0, 100000 * 24);
    testkit::insertChunk (file, "cue ", cues.getMemoryBlock());

    const auto reader = PlaylistEntry::createCheckedReader (formats, file);
    ASSERT_NE (reader, nullptr);
    EXPECT_EQ (reader->metadataValues.size(), 0) << "metadata values";
    EXPECT_EQ (reader->lengthInSamples, 8000) << "samples";
}

TEST_F (PlaylistEntryTest, TagsInAnyScriptReadBackCutToTheirLimit)
{
    // The title is cut between the two halves of a character beyond 16 bits: the whole character goes.
    const juce::String artist = juce::CharPointer_UTF8 ("\xce\x9a\xce\xb1\xce\xbb\xce\xb7\xce\xbc\xce\xad\xcf\x81\xce\xb1 "
                                                        "\xd0\x9f\xd0\xb5\xd1\x81\xd0\xbd\xd1\x8f \xe6\x9d\xb1\xe4\xba\xac "
                                                        "\xf0\x9d\x84\x9e");
    const auto title = "a" + juce::String::repeatedString (artist.getLastCharacters (1), 5000);

    for (const auto& file : { audioFile ("tagged.wav"), audioFile ("tagged.aiff") })
    {
        testkit::setTags (file, title, artist);
        const PlaylistEntry entry (file, &formats, nullptr);
        EXPECT_EQ (entry.getTitle(), title.substring (0, 4096)) << file.getFileName();
        EXPECT_EQ (entry.getArtist(), artist) << file.getFileName();
    }
}

TEST_F (PlaylistEntryTest, FilesAreOpenedForReadingOnly)
{
    const juce::File files[] { audioFile ("a.wav"), audioFile ("b.aiff") };
    const int watch = inotify_init1 (IN_NONBLOCK);
    inotify_add_watch (watch, audio.getFullPathName().toRawUTF8(), IN_CLOSE_WRITE);

    for (const auto& file : files)
        PlaylistEntry (file, &formats, nullptr).load (512, 44100.0f);

    audio.getChildFile ("written.txt").create();   // the first file closed after writing, unless an entry wrote one
    alignas (inotify_event) char events[4096];
    const auto size = ::read (watch, events, sizeof (events));
    close (watch);
    ASSERT_GT (size, 0) << "no file closed after writing";
    EXPECT_STREQ (reinterpret_cast<const inotify_event*> (events)->name, "written.txt");
}
