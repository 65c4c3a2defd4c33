#include "VelorinTest.h"

#include <sys/stat.h>

#include <future>

// One entry: its key, tags, length, stored points, loading, and the checks on what a file's
// header declares. Each step records the entry and the data root it reads and writes.

class PlaylistEntryTest : public VelorinTest
{
protected:
    PlaylistEntryTest()   { formats.registerBasicFormats(); }
    std::unique_ptr<PlaylistEntry> entry (const juce::File& file, const juce::String& what)
    {
        stores.push_back (std::make_unique<PointStore> (&root));   // a fresh index each time: the tests edit the root
        auto e = std::make_unique<PlaylistEntry> (file, &formats, stores.back().get());
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
    e->cue = 1.5f, e->loopA = 0.1f;
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
    const auto two = audioFile (juce::CharPointer_UTF8 ("\xd0\x9c\xd1\x83\xd0\xb7\xd1\x8b\xd0\xba\xd0\xb0/track02.wav"), 8000.0, 2, 0.1);
    ASSERT_EQ (keyOf (one), keyOf (two));
    entry (one, "first")->cue = 0.05f, entry (two, "second")->cue = 0.075f;
    entry (one, "first again"), entry (two, "second again");
    // An older element with no name yet goes to the first path that asks.
    root.deleteAllChildElements();
    root.createNewChildElement (keyOf (two))->setAttribute ("cue", "0.025");
    const auto claimed = entry (two, "claimed"), other = entry (one, "other");
}

TEST_F (PlaylistEntryTest, UnopenableFilesNeverTouchStoredPoints)
{
    // A file that opens only later (a drive mounted since) gets its stored points then, and
    // stores what the user sets from then on.
    const auto late = audio.getChildFile ("late.wav");
    root.createNewChildElement (keyOf (late))->setAttribute ("cue", "0.5");
    entry (late, "missing");
    auto e = entry (late, "missing again");   // the first left them as they were
    testkit::writeAudio (late, 8000.0, 2, 8000);
    e->load (512, 44100.0f);
    note ("opened late", juce::String (e->cue.load()) + ", " + juce::String (e->lengthSeconds.load()) + " s");
    e->loopB = 0.75f;
    e.reset();
    note ("destroyed", dataRoot());
    // Refused without hanging: a FIFO, a device, thousands of chunks (JUCE walks them on every load),
    // AIFF of 0x7fff bits (a reader loops forever), 0xff10 (no length), 12, or no channels. A header
    // claiming more frames, or a last chunk cut off (a partial download): the length it holds.
    ASSERT_TRUE (mkfifo (audio.getChildFile ("fifo.wav").getFullPathName().toRawUTF8(), 0600) == 0 && juce::File ("/dev/zero").createSymbolicLink (audio.getChildFile ("device.wav"), true));
    using Edit = std::function<void (juce::MemoryBlock&)>;
    const auto comm = [] (int at, int value) -> Edit { return [=] (juce::MemoryBlock& b) { b[12 + at] = (char) (value >> 8), b[13 + at] = (char) value; }; };
    const std::tuple<const char*, double, Edit> cases[] = {
        { "fifo.wav", 0, nullptr }, { "device.wav", 0, nullptr },
        { "chunky.wav", 0.1, [] (juce::MemoryBlock& b) { for (int i = 0; i < 5000; ++i) b.append ("junk\0\0\0\0", 8); } },
        { "COMM 14 = 7fff.aif", 0.1, comm (14, 0x7fff) }, { "COMM 14 = ff10.aif", 0.1, comm (14, 0xff10) },
        { "COMM 14 = c.aif", 0.1, comm (14, 12) }, { "COMM 8 = 0.aif", 0.1, comm (8, 0) },
        { "cut in half.wav", 1, [] (juce::MemoryBlock& b) { b.setSize (b.getSize() - 16000); } },
        { "partial.wav", 1, [] (juce::MemoryBlock& b) { b.append ("LIST\0\0\0\x40" "0123456789", 18); } },   // 10 of 1 GiB
        { "partial.aif", 1, [] (juce::MemoryBlock& b) { b.append ("COMT\x40\0\0\0" "0123456789", 18); } },
        { "empty.wav", 0, [] (juce::MemoryBlock&) {} } };
    auto checks = std::async (std::launch::async, [&]
    {
        for (const auto& [name, seconds, edit] : cases)
        {
            juce::MemoryBlock bytes;
            if (edit != nullptr && audioFile (name, 8000.0, 2, seconds, 16).loadFileAsData (bytes))
                edit (bytes), audio.getChildFile (name).replaceWithData (bytes.getData(), bytes.getSize());
            root.deleteAllChildElements();
            entry (audio.getChildFile (name), name);
        }
    });
    if (checks.wait_for (std::chrono::seconds (60)) != std::future_status::ready)
        std::cerr << "A file hung the test" << std::endl, std::_Exit (1);
}
