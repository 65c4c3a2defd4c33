#include "VelorinTest.h"

// One entry: its key, tags, length, stored points, loading, and the checks on what a file's
// header declares. Each step records the entry and the data root it reads and writes.

class PlaylistEntryTest : public VelorinTest
{
protected:
    PlaylistEntryTest()   { formats.registerBasicFormats(); }

    std::unique_ptr<PlaylistEntry> entry (const juce::File& file, const juce::String& what, juce::XmlElement* in = nullptr)
    {
        // A fresh index each time: the tests edit the root between entries.
        stores.push_back (std::make_unique<PointStore> (in != nullptr ? in : &root));
        auto e = std::make_unique<PlaylistEntry> (file, &formats, stores.back().get());
        e->load (512, 44100.0f);
        note (what, "\"" + e->getTitle() + "\" by \"" + e->getArtist() + "\", " + juce::String (e->lengthSeconds) + " s, cue " + juce::String (e->cue.load()) + " A-B "
                        + juce::String (e->loopA.load()) + "-" + juce::String (e->loopB.load()) + ", at " + juce::String (e->position.load()) + " s, "
                        + (e->source != nullptr ? "loaded at " + juce::String (e->source->getNextReadPosition()) : "unloaded") + ", " + dataRoot (in));
        return e;
    }

    juce::String dataRoot (juce::XmlElement* in = nullptr) const
    {
        return (in != nullptr ? in : &root)->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader()).replace (audio.getFullPathName(), "~/audio");
    }

    juce::AudioFormatManager formats;
    juce::XmlElement root { "data" };
    std::vector<std::unique_ptr<PointStore>> stores;
};

TEST_F (PlaylistEntryTest, KeysTagsLengthAndPoints)
{
    // MD5 of as many bytes as the path has characters (reference digests made without JUCE).
    EXPECT_EQ (keyOf (juce::File ("/music/a.wav")), "df3a6141109e907bc260fffef131453c");
    EXPECT_EQ (keyOf (juce::File (juce::CharPointer_UTF8 ("/m\xc3\xbas/\xc3\xa9.wav"))), "ebf96d7352e58103775a94ceea4fe769");

    const auto wav = audioFile ("tagged.wav", 44100.0, 2, 1.5), aiff = audioFile ("take.aiff", 48000.0, 1, 0.5), plain = audioFile ("plain.wav", 44100.0, 2, 20.0);
    ASSERT_TRUE (testkit::setTags (wav, juce::CharPointer_UTF8 ("Caf\xc3\xa9 Song"), "The Band") && testkit::setTags (aiff, "Take", ""));
    entry (wav, "tagged WAV");
    entry (aiff, "tagged AIFF");
    root.deleteAllChildElements();

    auto e = entry (plain, "new file");
    e->cue = 1.5f;
    e->loopA = 0.1f;
    e.reset();
    note ("destroyed", dataRoot());
    root.getChildElement (0)->setAttribute ("p1", "-inf");   // stored points come back; attributes keep their order, foreign ones stay
    root.getChildElement (0)->setAttribute ("mine", "kept");
    root.getChildElement (0)->setAttribute ("cue", "12.5");
    e = entry (plain, "stored points");
    note ("positions", juce::String (e->source->secondsToPosition (std::numeric_limits<float>::quiet_NaN())) + " "
                           + juce::String (e->source->secondsToPosition (std::numeric_limits<float>::infinity())));
    e->source->setNextReadPosition (44100);
    note ("at sample 44100", juce::String (e->getPositionSeconds()));
    for (auto damaged : { "nan", "1e300", "-1e39" })
        root.getChildElement (0)->setAttribute ("cue", damaged), entry (plain, juce::String ("damaged cue ") + damaged).reset();
}

TEST_F (PlaylistEntryTest, FilesSharingAKeyKeepTheirOwnPoints)
{
    // The key hashes only part of a non-ASCII path.
    const auto one = audioFile (juce::CharPointer_UTF8 ("\xd0\x9c\xd1\x83\xd0\xb7\xd1\x8b\xd0\xba\xd0\xb0/track01.wav"));
    const auto two = one.getSiblingFile ("track02.wav");
    testkit::writeAudio (two, 8000.0, 2, 800);
    ASSERT_EQ (keyOf (one), keyOf (two));
    {
        auto first = entry (one, "first"), second = entry (two, "second");
        first->cue = 0.05f;
        second->cue = 0.075f;
    }
    entry (one, "first again");
    entry (two, "second again");

    // An older element with no name yet goes to the first path that asks.
    juce::XmlElement old ("data");
    old.createNewChildElement (keyOf (two))->setAttribute ("cue", "0.025");
    const auto claimed = entry (two, "claimed", &old), other = entry (one, "other", &old);
}

TEST_F (PlaylistEntryTest, UnopenableFilesNeverTouchStoredPoints)
{
    // A file that opens only later (a drive mounted since) gets its stored points then, and
    // stores what the user sets from then on.
    const auto late = audio.getChildFile ("late.wav");
    root.createNewChildElement (keyOf (late))->setAttribute ("cue", "0.5");
    entry (late, "missing");
    note ("destroyed", dataRoot());
    auto e = entry (late, "missing again");
    testkit::writeAudio (late, 8000.0, 2, 8000);
    e->load (512, 44100.0f);
    note ("opened late", juce::String (e->cue.load()) + ", " + juce::String (e->lengthSeconds.load()) + " s");
    e->loopB = 0.75f;
    e.reset();
    note ("destroyed", dataRoot());
    root.deleteAllChildElements();

    // Implausible AIFF headers, patched into the COMM chunk: bits per sample 0x7fff (the reader
    // would loop forever), 0xff10 (a reader of no length), 12; and no channels.
    for (auto [offset, value] : { std::pair (14, 0x7fff), std::pair (14, 0xff10), std::pair (14, 12), std::pair (8, 0) })
    {
        const auto file = audioFile ("bad.aif", 44100.0, 2, 0.1, 16);
        juce::MemoryBlock bytes;
        file.loadFileAsData (bytes);
        auto* raw = static_cast<juce::uint8*> (bytes.getData());
        ASSERT_EQ (juce::String ((const char*) raw + 12, 4), "COMM");
        raw[12 + offset] = (juce::uint8) (value >> 8);
        raw[12 + offset + 1] = (juce::uint8) value;
        file.replaceWithData (raw, bytes.getSize());
        entry (file, "COMM " + juce::String (offset) + " = " + juce::String::toHexString (value));
    }

    // A header that claims more audio than the file holds: the length is what it holds.
    const auto cut = audioFile ("cut.wav", 8000.0, 2, 1.0, 16);
    juce::MemoryBlock bytes;
    cut.loadFileAsData (bytes);
    cut.replaceWithData (bytes.getData(), bytes.getSize() - 16000);
    entry (cut, "cut in half");
}
