#include "VelorinTest.h"

// One entry: its key, tags, length, stored points, loading, and the checks on what a file's
// header declares.

class PlaylistEntryTest : public VelorinTest
{
protected:
    PlaylistEntryTest()   { formats.registerBasicFormats(); }
    std::unique_ptr<PlaylistEntry> entry (const juce::File& file, juce::XmlElement& in)   { return std::make_unique<PlaylistEntry> (file, &formats, &in); }
    std::unique_ptr<PlaylistEntry> entry (const juce::File& file)                         { return entry (file, root); }

    juce::AudioFormatManager formats;
    juce::XmlElement root { "data" };
};

TEST_F (PlaylistEntryTest, KeysTagsAndLength)
{
    // MD5 of as many bytes as the path has characters (reference digests made without JUCE).
    EXPECT_EQ (keyOf (juce::File ("/music/a.wav")), "df3a6141109e907bc260fffef131453c");
    EXPECT_EQ (keyOf (juce::File (juce::CharPointer_UTF8 ("/m\xc3\xbas/\xc3\xa9.wav"))), "ebf96d7352e58103775a94ceea4fe769");

    const auto wav = audioFile ("tagged.wav", 44100.0, 2, 1.5);
    const auto aiff = audioFile ("take.aiff", 48000.0, 1, 0.5);
    ASSERT_TRUE (testkit::setTags (wav, juce::CharPointer_UTF8 ("Caf\xc3\xa9 Song"), "The Band") && testkit::setTags (aiff, "Take", ""));
    const auto plain = audioFile ("plain.wav", 44100.0);

    struct Row { juce::File file; juce::String title, artist; float length; };
    for (const auto& row : { Row { wav, juce::CharPointer_UTF8 ("Caf\xc3\xa9 Song"), "The Band", 1.5f }, Row { aiff, "Take", "", 0.5f }, Row { plain, "", "", 1.0f } })
    {
        const auto e = entry (row.file);
        EXPECT_EQ (e->getTitle(), row.title);
        EXPECT_EQ (e->getArtist(), row.artist);
        EXPECT_FLOAT_EQ (e->lengthSeconds, row.length);
        EXPECT_EQ (e->getFilePath(), row.file.getFullPathName());
    }
}

TEST_F (PlaylistEntryTest, PointsAreStoredInTheElementOfTheirFile)
{
    const auto file = audioFile ("new.wav", 44100.0, 2, 20.0);
    auto e = entry (file);
    ASSERT_EQ (root.getNumChildElements(), 1);   // made at once
    auto* element = root.getChildElement (0);
    EXPECT_EQ (element->getTagName(), e->getKey());
    e->cue = 1.5f;
    e->loopA = 0.1f;
    e.reset();
    EXPECT_EQ (element->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader()),
               "<" + keyOf (file) + " name=\"" + file.getFullPathName() + "\" cue=\"1.5\" p1=\"0.10000000149011611938\" p2=\"0\"/>");

    // Stored points come back; attributes keep their order, foreign ones stay.
    root.deleteAllChildElements();
    element = root.createNewChildElement (keyOf (file));
    for (auto [name, value] : { std::pair ("p2", "0"), std::pair ("mine", "kept"), std::pair ("cue", "12.5"), std::pair ("name", "") })
        element->setAttribute (name, juce::String (name) == "name" ? file.getFullPathName() : value);
    e = entry (file);
    EXPECT_TRUE (e->cue == 12.5f && e->position == 12.5f && e->loopA == 0.0f && e->loopB == 0.0f);
    e->load (512, 44100.0f);
    ASSERT_NE (e->source, nullptr);
    EXPECT_EQ (e->source->getNextReadPosition(), (juce::int64) (12.5f * 44100.0f));
    EXPECT_FLOAT_EQ (e->getPositionSeconds(), 12.5f);
    e->source->setNextReadPosition (44100);
    EXPECT_EQ (e->getPositionSeconds(), 1.0f);
    e.reset();
    EXPECT_EQ (root.toString (juce::XmlElement::TextFormat().singleLine().withoutHeader()),
               "<data><" + keyOf (file) + " p2=\"0\" mine=\"kept\" cue=\"12.5\" name=\"" + file.getFullPathName() + "\" p1=\"0\"/></data>");

    // Damaged values read as 0.
    element->setAttribute ("cue", "nan");
    element->setAttribute ("p1", "1e300");
    element->setAttribute ("p2", "-inf");
    e = entry (file);
    EXPECT_TRUE (e->cue == 0.0f && e->loopA == 0.0f && e->loopB == 0.0f);
    e->load (512, 44100.0f);
    EXPECT_EQ (e->source->secondsToPosition (std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_GT (e->source->secondsToPosition (std::numeric_limits<float>::infinity()), 0);
}

TEST_F (PlaylistEntryTest, FilesSharingAKeyKeepTheirOwnPoints)
{
    // The key hashes only part of a non-ASCII path.
    const auto one = audioFile (juce::CharPointer_UTF8 ("\xd0\x9c\xd1\x83\xd0\xb7\xd1\x8b\xd0\xba\xd0\xb0/track01.wav"));
    const auto two = one.getSiblingFile ("track02.wav");
    testkit::writeAudio (two, 8000.0, 2, 800);
    ASSERT_EQ (keyOf (one), keyOf (two));
    {
        auto first = entry (one), second = entry (two);
        first->cue = 0.05f;
        second->cue = 0.075f;
    }
    ASSERT_EQ (root.getNumChildElements(), 2);
    EXPECT_EQ (entry (one)->cue, 0.05f);
    EXPECT_EQ (entry (two)->cue, 0.075f);

    // An older element with no name yet goes to the first path that asks.
    juce::XmlElement old ("data");
    old.createNewChildElement (keyOf (two))->setAttribute ("cue", "0.025");
    const auto claimed = entry (two, old), other = entry (one, old);
    EXPECT_EQ (claimed->cue, 0.025f);
    EXPECT_EQ (other->cue, 0.0f);
    EXPECT_EQ (old.getNumChildElements(), 2);
}

TEST_F (PlaylistEntryTest, UnopenableFilesNeverTouchStoredPoints)
{
    const auto gone = audio.getChildFile ("gone.wav");
    root.createNewChildElement (keyOf (gone))->setAttribute ("cue", "7");
    {
        auto e = entry (gone);
        EXPECT_TRUE (e->cue == 0.0f && e->lengthSeconds == 0.0f && e->getTitle().isEmpty());
        e->cue = 3.0f;
        e->load (512, 44100.0f);
        EXPECT_EQ (e->source, nullptr);
    }
    EXPECT_EQ (root.getChildElement (0)->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader()), "<" + keyOf (gone) + " cue=\"7\"/>");
    root.deleteAllChildElements();

    // Implausible AIFF headers, patched into the COMM chunk: bits per sample 0x7fff (the reader
    // would loop forever), 0xff10 (a reader of no length), 12; and no channels.
    for (auto [offset, value] : { std::pair (14, 0x7fff), std::pair (14, 0xff10), std::pair (14, 12), std::pair (8, 0) })
    {
        const auto file = audioFile ("bad.aif", 44100.0, 2, 0.1, 16);
        juce::MemoryBlock bytes;
        file.loadFileAsData (bytes);
        auto* raw = static_cast<juce::uint8*> (bytes.getData());
        const char* id = "COMM";
        const auto comm = std::search (raw, raw + bytes.getSize(), id, id + 4) - raw;
        ASSERT_GT (comm, 0);
        raw[comm + offset] = (juce::uint8) (value >> 8);
        raw[comm + offset + 1] = (juce::uint8) value;
        file.replaceWithData (raw, bytes.getSize());

        auto e = entry (file);
        EXPECT_EQ (e->lengthSeconds, 0.0f) << value;
        e->load (512, 44100.0f);
        EXPECT_EQ (e->source, nullptr) << value;
    }
    EXPECT_EQ (root.getNumChildElements(), 0);

    // A header that claims more audio than the file holds: the length is what it holds.
    const auto cut = audioFile ("cut.wav", 8000.0, 2, 1.0, 16);
    juce::MemoryBlock bytes;
    cut.loadFileAsData (bytes);
    cut.replaceWithData (bytes.getData(), bytes.getSize() - 16000);
    EXPECT_NEAR (entry (cut)->lengthSeconds, 0.5f, 0.01f);
}
