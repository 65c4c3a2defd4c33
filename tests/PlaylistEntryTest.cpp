#include "TestSupport.h"
#include "engine/XmlFiles.h"

// One entry: its key, tags, length, stored points, loading and the checks on what a
// file's header declares.

class PlaylistEntryTest : public TempHomeTest
{
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        formatManager.registerBasicFormats();
    }

    std::unique_ptr<PlaylistEntry> makeEntry (const juce::File& file)
    {
        // A fresh index each time, as the tests edit the root between entries.
        stores.push_back (std::make_unique<PointStore> (&root));
        return std::make_unique<PlaylistEntry> (file, &formatManager, stores.back().get());
    }

    juce::File makeWav (const juce::String& name, double rate = 44100.0, juce::int64 samples = 44100)
    {
        const auto file = audioFolder().getChildFile (name);
        testaudio::write (file, rate, 2, samples);
        return file;
    }

    juce::AudioFormatManager formatManager;
    juce::XmlElement root { "data" };
    std::vector<std::unique_ptr<PointStore>> stores;
};

TEST_F (PlaylistEntryTest, KeyIsTheMd5OfAsManyBytesAsThePathHasCharacters)
{
    // Reference digests computed independently of JUCE.
    EXPECT_EQ (makeEntry (juce::File ("/music/a.wav"))->getKey(), "df3a6141109e907bc260fffef131453c");

    // 10 characters, 12 bytes: only the first 10 bytes are hashed.
    EXPECT_EQ (makeEntry (juce::File (juce::CharPointer_UTF8 ("/m\xc3\xbas/\xc3\xa9.wav")))->getKey(),
               "ebf96d7352e58103775a94ceea4fe769");
}

TEST_F (PlaylistEntryTest, FilesSharingAKeyKeepTheirOwnPoints)
{
    const auto folder = audioFolder().getChildFile (juce::CharPointer_UTF8 ("\xd0\x9c\xd1\x83\xd0\xb7\xd1\x8b\xd0\xba\xd0\xb0"));
    ASSERT_TRUE (folder.createDirectory());
    const auto one = folder.getChildFile ("track01.wav");
    const auto two = folder.getChildFile ("track02.wav");
    testaudio::write (one, 44100.0, 2, 4410);
    testaudio::write (two, 44100.0, 2, 4410);

    {
        auto first = makeEntry (one);
        auto second = makeEntry (two);
        ASSERT_EQ (first->getKey(), second->getKey());
        first->cue = 0.05f;
        second->cue = 0.075f;
    }

    ASSERT_EQ (root.getNumChildElements(), 2);
    EXPECT_EQ (makeEntry (one)->cue, 0.05f);
    EXPECT_EQ (makeEntry (two)->cue, 0.075f);

    // An element from an older file with no name yet is taken by the first path that asks.
    juce::XmlElement oldRoot ("data");
    oldRoot.createNewChildElement (makeEntry (two)->getKey())->setAttribute ("cue", "0.025");
    PointStore oldStore (&oldRoot);
    auto claimed = std::make_unique<PlaylistEntry> (two, &formatManager, &oldStore);
    EXPECT_EQ (claimed->cue, 0.025f);
    auto other = std::make_unique<PlaylistEntry> (one, &formatManager, &oldStore);
    EXPECT_EQ (other->cue, 0.0f);
    EXPECT_EQ (oldRoot.getNumChildElements(), 2);
}

TEST_F (PlaylistEntryTest, ReadsTagsAndLengthOfWavAndAiff)
{
    const auto wav = makeWav ("tagged.wav", 44100.0, 66150);
    testaudio::setTags (wav, juce::CharPointer_UTF8 ("Caf\xc3\xa9 Song"), "The Band");
    const auto aiff = audioFolder().getChildFile ("take.aiff");
    testaudio::write (aiff, 48000.0, 1, 24000);
    testaudio::setTags (aiff, "Take", "");

    const auto wavEntry = makeEntry (wav);
    EXPECT_EQ (wavEntry->getTitle(), juce::String (juce::CharPointer_UTF8 ("Caf\xc3\xa9 Song")));
    EXPECT_EQ (wavEntry->getArtist(), "The Band");
    EXPECT_FLOAT_EQ (wavEntry->lengthSeconds, 1.5f);
    EXPECT_EQ (wavEntry->getFilePath(), wav.getFullPathName());

    const auto aiffEntry = makeEntry (aiff);
    EXPECT_EQ (aiffEntry->getTitle(), "Take");
    EXPECT_EQ (aiffEntry->getArtist(), "");
    EXPECT_FLOAT_EQ (aiffEntry->lengthSeconds, 0.5f);

    const auto untagged = makeEntry (makeWav ("plain.wav"));
    EXPECT_EQ (untagged->getTitle(), "");
    EXPECT_FLOAT_EQ (untagged->lengthSeconds, 1.0f);
}

TEST_F (PlaylistEntryTest, NewFileGetsAnElementAtOnceAndItsPointsWhenDestroyed)
{
    const auto file = makeWav ("new.wav");
    auto entry = makeEntry (file);
    EXPECT_EQ (entry->cue, 0.0f);
    EXPECT_EQ (entry->position, 0.0f);
    ASSERT_EQ (root.getNumChildElements(), 1);
    EXPECT_EQ (root.getChildElement (0)->getTagName(), entry->getKey());

    entry->cue = 1.5f;
    entry->loopA = 0.1f;
    entry->loopB = 0.0f;
    entry.reset();

    const auto* element = root.getChildElement (0);
    ASSERT_EQ (element->getNumAttributes(), 4);
    EXPECT_EQ (element->getAttributeName (0), "name");
    EXPECT_EQ (element->getAttributeValue (0), file.getFullPathName());
    EXPECT_EQ (element->getAttributeName (1), "cue");
    EXPECT_EQ (element->getAttributeValue (1), "1.5");
    EXPECT_EQ (element->getAttributeName (2), "p1");
    EXPECT_EQ (element->getAttributeValue (2), "0.10000000149011611938");
    EXPECT_EQ (element->getAttributeName (3), "p2");
    EXPECT_EQ (element->getAttributeValue (3), "0");
}

TEST_F (PlaylistEntryTest, StoredPointsAreRestoredAndKeepTheirAttributeOrder)
{
    const auto file = makeWav ("old.wav", 44100.0, 44100 * 20);
    const auto key = makeEntry (juce::File (file.getFullPathName()))->getKey();
    root.deleteAllChildElements();

    auto* element = root.createNewChildElement (key);
    element->setAttribute ("p2", "0");
    element->setAttribute ("mine", "kept");
    element->setAttribute ("cue", "12.5");
    element->setAttribute ("name", file.getFullPathName());

    auto entry = makeEntry (file);
    EXPECT_EQ (entry->cue, 12.5f);
    EXPECT_EQ (entry->position, 12.5f);
    EXPECT_EQ (entry->loopA, 0.0f);
    EXPECT_EQ (entry->loopB, 0.0f);

    entry->load (512, 44100.0f);
    ASSERT_NE (entry->source, nullptr);
    EXPECT_EQ (entry->source->getNextReadPosition(), (juce::int64) (12.5f * 44100.0f));
    EXPECT_FLOAT_EQ (entry->getPositionSeconds(), 12.5f);

    entry->source->setNextReadPosition (44100);
    EXPECT_EQ (entry->getPositionSeconds(), 1.0f);
    entry.reset();

    ASSERT_EQ (root.getNumChildElements(), 1);
    EXPECT_EQ (element->getAttributeName (0), "p2");
    EXPECT_EQ (element->getAttributeName (1), "mine");
    EXPECT_EQ (element->getAttributeValue (1), "kept");
    EXPECT_EQ (element->getAttributeName (2), "cue");
    EXPECT_EQ (element->getAttributeName (3), "name");
    EXPECT_EQ (element->getAttributeName (4), "p1");
}

TEST_F (PlaylistEntryTest, DamagedStoredPointsReadAsZero)
{
    const auto file = makeWav ("damaged.wav");
    const auto key = makeEntry (file)->getKey();
    root.deleteAllChildElements();

    auto* element = root.createNewChildElement (key);
    element->setAttribute ("cue", "nan");
    element->setAttribute ("p1", "1e300");
    element->setAttribute ("p2", "-inf");

    auto entry = makeEntry (file);
    EXPECT_EQ (entry->cue, 0.0f);
    EXPECT_EQ (entry->loopA, 0.0f);
    EXPECT_EQ (entry->loopB, 0.0f);

    entry->load (512, 44100.0f);
    ASSERT_NE (entry->source, nullptr);
    EXPECT_EQ (entry->source->secondsToPosition (std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_GT (entry->source->secondsToPosition (std::numeric_limits<float>::infinity()), 0);
}

TEST_F (PlaylistEntryTest, UnopenableFileKeepsStoredPointsUntilItOpens)
{
    const auto file = audioFolder().getChildFile ("gone.wav");
    const auto key = makeEntry (file)->getKey();
    EXPECT_EQ (root.getNumChildElements(), 0);   // nothing is created for it

    root.createNewChildElement (key)->setAttribute ("cue", "0.5");

    {
        auto entry = makeEntry (file);
        EXPECT_EQ (entry->cue, 0.0f);
        EXPECT_EQ (entry->lengthSeconds, 0.0f);
        EXPECT_EQ (entry->getTitle(), "");
        entry->load (512, 44100.0f);
        EXPECT_EQ (entry->source, nullptr);
    }

    EXPECT_EQ (root.getChildElement (0)->getStringAttribute ("cue"), "0.5");
    EXPECT_EQ (root.getChildElement (0)->getNumAttributes(), 1);

    // The drive is mounted later: the first load reads the stored points and the length,
    // and what the user sets from then on is stored.
    auto entry = makeEntry (file);
    testaudio::write (file, 44100.0, 2, 44100);
    entry->load (512, 44100.0f);
    ASSERT_NE (entry->source, nullptr);
    EXPECT_EQ (entry->cue, 0.5f);
    EXPECT_FLOAT_EQ (entry->lengthSeconds, 1.0f);
    entry->loopB = 0.75f;
    entry.reset();
    EXPECT_EQ (root.getChildElement (0)->getStringAttribute ("cue"), "0.5");
    EXPECT_EQ (root.getChildElement (0)->getStringAttribute ("p2"), "0.75");
}

TEST_F (PlaylistEntryTest, ImplausibleHeadersAreTreatedAsUnopenable)
{
    // Bits per sample as a COMM chunk declares them: 0x7fff makes the reader loop forever,
    // 0xff10 gives a reader of no length.
    for (int bits : { 0x7fff, 0xff10, 12 })
    {
        const auto file = audioFolder().getChildFile ("bad" + juce::String (bits) + ".aif");
        testaudio::write (file, 44100.0, 2, 4410, 16);
        testaudio::patchAiffComm (file, 14, bits);

        auto entry = makeEntry (file);
        EXPECT_EQ (entry->lengthSeconds, 0.0f) << bits;
        entry->load (512, 44100.0f);
        EXPECT_EQ (entry->source, nullptr) << bits;
    }

    // A channel count of zero.
    const auto noChannels = audioFolder().getChildFile ("nochannels.aif");
    testaudio::write (noChannels, 44100.0, 2, 4410, 16);
    testaudio::patchAiffComm (noChannels, 8, 0);
    EXPECT_EQ (makeEntry (noChannels)->lengthSeconds, 0.0f);
    EXPECT_EQ (root.getNumChildElements(), 0);
}

TEST_F (PlaylistEntryTest, LengthIsLimitedToWhatTheFileHolds)
{
    const auto file = audioFolder().getChildFile ("truncated.wav");
    testaudio::write (file, 8000.0, 2, 8000, 16);
    ASSERT_TRUE (file.getSize() > 16000);

    // Cut half the audio away, leaving the header's data size as it was (a second).
    juce::MemoryBlock data;
    ASSERT_TRUE (file.loadFileAsData (data));
    ASSERT_TRUE (file.replaceWithData (data.getData(), data.getSize() - 16000));

    auto entry = makeEntry (file);
    EXPECT_NEAR (entry->lengthSeconds, 0.5f, 0.01f);
}
