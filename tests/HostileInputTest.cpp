#include "VelorinTest.h"

#include <sys/stat.h>

#include <atomic>
#include <future>
#include <new>

// Files and folders as a hostile or unlucky user has them: nothing hangs, a file that plays
// elsewhere plays here, a damaged one is an entry that can't be opened, and matching MIDI
// allocates nothing.

#if defined (__SANITIZE_ADDRESS__) || defined (__SANITIZE_THREAD__)
 #define VELORIN_COUNTS_ALLOCATIONS 0
#elif defined (__has_feature)
 #if __has_feature (address_sanitizer) || __has_feature (thread_sanitizer)
  #define VELORIN_COUNTS_ALLOCATIONS 0
 #endif
#endif

#ifndef VELORIN_COUNTS_ALLOCATIONS
 #define VELORIN_COUNTS_ALLOCATIONS 1

namespace
{
    thread_local bool countAllocations = false;
    thread_local int allocations = 0;
}

void* operator new (std::size_t size)
{
    if (countAllocations)
        ++allocations;

    if (auto* p = std::malloc (size > 0 ? size : 1))
        return p;

    throw std::bad_alloc();
}

void operator delete (void* p) noexcept                 { std::free (p); }
void operator delete (void* p, std::size_t) noexcept    { std::free (p); }
#endif

namespace
{
    void appendChunk (juce::MemoryBlock& data, const char* id, juce::uint32 size, bool bigEndian, int bytesPresent)
    {
        data.append (id, 4);
        const auto field = bigEndian ? juce::ByteOrder::swapIfLittleEndian (size) : juce::ByteOrder::swapIfBigEndian (size);
        data.append (&field, 4);
        juce::MemoryBlock body ((size_t) bytesPresent, true);
        data.append (body.getData(), body.getSize());
    }
}

class HostileInputTest : public VelorinTest
{
protected:
    juce::File fixture (const juce::String& name, juce::int64 frames = 8000)
    {
        const auto file = audio.getChildFile (name);
        EXPECT_TRUE (testkit::writeAudio (file, 8000.0, 1, frames, 16));
        return file;
    }

    /** Adds the file on another thread; a hang fails the test instead of freezing it. */
    PlaylistEntry* addWithWatchdog (ReplayProcessor& processor, const juce::File& file)
    {
        auto adding = std::async (std::launch::async, [&] { processor.addFile (file); });

        if (adding.wait_for (std::chrono::seconds (20)) != std::future_status::ready)
        {
            std::cerr << "Adding " << file.getFileName() << " hung" << std::endl;
            std::_Exit (1);
        }

        return processor.playlist.getLast();
    }
};

TEST_F (HostileInputTest, FilesThatMustNotOpenAndFilesThatMust)
{
    ReplayProcessor processor;

    const auto fifo = audio.getChildFile ("fifo.wav");
    ASSERT_EQ (mkfifo (fifo.getFullPathName().toRawUTF8(), 0600), 0);
    const auto device = audio.getChildFile ("device.wav");
    ASSERT_TRUE (juce::File ("/dev/zero").createSymbolicLink (device, true));

    // Thousands of empty chunks before the audio: JUCE would walk them all, on every load.
    const auto chunky = audio.getChildFile ("chunky.wav");
    {
        juce::MemoryBlock data;
        data.append ("RIFF\0\0\0\0WAVE", 12);
        const juce::uint8 format[] = { 1, 0, 1, 0, 0x40, 0x1f, 0, 0, 0x80, 0x3e, 0, 0, 2, 0, 16, 0 };   // PCM, mono, 8 kHz, 16 bits
        appendChunk (data, "fmt ", sizeof (format), false, 0);
        data.append (format, sizeof (format));

        for (int i = 0; i < 5000; ++i)
            appendChunk (data, "junk", 0, false, 0);

        appendChunk (data, "data", 1600, false, 1600);
        ASSERT_TRUE (chunky.replaceWithData (data.getData(), data.getSize()));
    }

    for (const auto& file : { fifo, device, chunky })
    {
        auto* entry = addWithWatchdog (processor, file);
        ASSERT_NE (entry, nullptr);
        EXPECT_EQ (entry->lengthSeconds, 0.0f) << file.getFileName();
        EXPECT_EQ (PlaylistEntry::createCheckedReader (processor.formatManager, file), nullptr) << file.getFileName();
    }

    // No frames at all: opens, with length 0. A partial download, its last chunk cut off:
    // plays what it has.
    const auto empty = fixture ("empty.wav", 0);
    const auto partialWav = fixture ("partial.wav");
    const auto partialAiff = fixture ("partial.aif");

    for (const auto& [file, bigEndian] : { std::pair { partialWav, false }, std::pair { partialAiff, true } })
    {
        juce::MemoryBlock data;
        ASSERT_TRUE (file.loadFileAsData (data));
        appendChunk (data, bigEndian ? "COMT" : "LIST", 1 << 30, bigEndian, 10);
        ASSERT_TRUE (file.replaceWithData (data.getData(), data.getSize()));
    }

    for (const auto& [file, seconds] : { std::pair { empty, 0.0f }, std::pair { partialWav, 1.0f }, std::pair { partialAiff, 1.0f } })
    {
        bool limited = false;
        auto reader = PlaylistEntry::createCheckedReader (processor.formatManager, file, &limited);
        ASSERT_NE (reader, nullptr) << file.getFileName();
        EXPECT_EQ (reader->lengthInSamples, (juce::int64) (seconds * 8000)) << file.getFileName();
        EXPECT_EQ (limited, file != empty) << file.getFileName();
        EXPECT_FLOAT_EQ (addWithWatchdog (processor, file)->lengthSeconds, seconds);
    }
}

TEST_F (HostileInputTest, EachFolderIsScannedOnceAndACutShortScanIsReported)
{
    // Three levels, each with two links to the next: one file reached eight ways.
    auto level = audio.getChildFile ("top");
    ASSERT_TRUE (level.createDirectory());
    const auto top = level;

    for (int depth = 0; depth < 3; ++depth)
    {
        const auto next = audio.getChildFile ("level" + juce::String (depth));
        ASSERT_TRUE (next.createDirectory());
        ASSERT_TRUE (next.createSymbolicLink (level.getChildFile ("a"), true));
        ASSERT_TRUE (next.createSymbolicLink (level.getChildFile ("b"), true));
        level = next;
    }

    fixture ("level2/song.wav");

    ReplayProcessor processor;
    EXPECT_TRUE (processor.addDirectory (top).isEmpty());
    EXPECT_EQ (processor.playlist.size(), 1);

    processor.folderScanLimitSeconds = -1.0;
    const auto cutShort = processor.addDirectory (audio.getChildFile ("level2"));
    ASSERT_EQ (cutShort.size(), 1);
    EXPECT_EQ (cutShort[0], audio.getChildFile ("level2"));
}

TEST_F (HostileInputTest, MatchingMidiAllocatesNothing)
{
   #if ! VELORIN_COUNTS_ALLOCATIONS
    GTEST_SKIP() << "the sanitizers own operator new";
   #else
    MidiMap map;
    map.mappings[0].message = "90 3c 7f";
    map.mappings[1].message = juce::String::toHexString (juce::MemoryBlock (200, true).getData(), 200, 1);

    const juce::uint8 sysex[198] = {};
    const auto longMessage = juce::MidiMessage::createSysExMessage (sysex, (int) sizeof (sysex));
    const auto noteOn = juce::MidiMessage::noteOn (1, 60, (juce::uint8) 127);
    int action = -1;

    countAllocations = true;
    const bool longMatches = map.handleMessage (longMessage, action);
    const bool noteMatches = map.handleMessage (noteOn, action);
    countAllocations = false;

    EXPECT_EQ (allocations, 0);
    EXPECT_FALSE (longMatches);   // f0 00 .. 00 f7 is not 200 zero bytes
    EXPECT_TRUE (noteMatches);
    EXPECT_EQ (action, 0);
   #endif
}
