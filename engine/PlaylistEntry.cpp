#include "engine/PlaylistEntry.h"
#include "engine/XmlFiles.h"

#include <juce_cryptography/juce_cryptography.h>

#include <taglib/id3v2tag.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tfile.h>

#include <cmath>
#include <cstring>
#include <set>

namespace
{
    /** Real files have a dozen chunks; one with more than this is refused before JUCE's
        readers walk them all (millions of empty chunks take seconds). */
    constexpr int maxChunks = 1000;

    /** What a walk over the chunks of a RIFF (WAV, RF64, BW64) or FORM (AIFF) file found. */
    struct Chunks
    {
        /** How much of the file a reader may see, or -1 when it must not be opened. */
        juce::int64 readable = -1;

        /** Where the ids of the chunks no player reads start, in order. */
        std::vector<juce::int64> hidden;

        /** The content of the first ID3 chunk, the tags. */
        juce::int64 tagStart = 0;
        juce::int64 tagSize = 0;
    };

    /** The chunks a player reads: the audio and its format, and the tags (and JUNK, skipped
        anyway). The readers parse the others (cue points, labels, notes) into metadata nobody
        here reads, at a cost that grows with the chunk: a cue chunk of 16 MB took 23 s and a
        gigabyte. */
    bool isReadByPlayer (const char* id)
    {
        for (const auto* name : { "fmt ", "data", "ds64", "FVER", "COMM", "SSND", "ID3 ", "id3 ", "JUNK" })
            if (std::memcmp (id, name, 4) == 0)
                return true;

        return false;
    }

    /** JUCE's readers allocate what a chunk claims (up to 4 GB) before reading it, so a chunk
        claiming more than the file holds is refused before the audio data, and hidden from the
        reader after it (a partial download plays what it has); audio data cut short is read as
        far as it goes. */
    Chunks walkChunks (const juce::File& file)
    {
        Chunks found;
        juce::FileInputStream in (file);

        if (! in.openedOk())
            return found;

        const auto fileSize = in.getTotalLength();
        found.readable = fileSize;
        char id[4] = {};

        if (in.read (id, 4) != 4)
            return found;

        const bool rf64 = std::memcmp (id, "RF64", 4) == 0 || std::memcmp (id, "BW64", 4) == 0;
        const bool riff = rf64 || std::memcmp (id, "RIFF", 4) == 0;

        if (! riff && std::memcmp (id, "FORM", 4) != 0)
            return found;

        juce::int64 position = 12;
        juce::int64 rf64DataSize = 0;
        bool audioSeen = false;
        found.readable = -1;

        for (int chunks = 0; position + 8 <= fileSize; ++chunks)
        {
            if (chunks == maxChunks)
                return found;

            char chunk[8] = {};
            in.setPosition (position);

            if (in.read (chunk, 8) != 8)
                return found;

            auto size = (juce::int64) (riff ? juce::ByteOrder::littleEndianInt (chunk + 4)
                                            : juce::ByteOrder::bigEndianInt (chunk + 4));
            const auto remaining = fileSize - position - 8;
            const bool audio = std::memcmp (chunk, "data", 4) == 0 || std::memcmp (chunk, "SSND", 4) == 0;

            // An RF64 file gives its sizes in a first ds64 chunk; the readers take the data
            // chunk's from there, and without one would read the chunks 4 bytes off.
            if (rf64 && position == 12)
            {
                if (std::memcmp (chunk, "ds64", 4) != 0 || size < 28)
                    return found;

                in.setPosition (position + 16);
                rf64DataSize = in.readInt64();
            }

            if (rf64 && audio && rf64DataSize > 0)
                size = rf64DataSize;

            if (size > remaining)
            {
                found.readable = audio ? fileSize : (audioSeen ? position : -1);
                return found;
            }

            if (found.tagStart == 0 && (std::memcmp (chunk, "ID3 ", 4) == 0 || std::memcmp (chunk, "id3 ", 4) == 0))
            {
                found.tagStart = position + 8;
                found.tagSize = size;
            }

            if (size > 0 && ! isReadByPlayer (chunk))
                found.hidden.push_back (position);

            audioSeen = audioSeen || audio;
            position += 8 + size + (size & 1);
        }

        found.readable = fileSize;
        return found;
    }

    /** A file as its readers should see it: the chunks in `hidden` are presented renamed "JUNK",
        which every reader skips unread. (A chunk of no size is left alone: JUCE's WAV reader stops
        at an unknown one.) */
    class HidingInputStream : public juce::InputStream
    {
    public:
        HidingInputStream (const juce::File& file, std::vector<juce::int64> idsToHide)
            : in (file),
              hidden (std::move (idsToHide))
        {
        }

        juce::int64 getTotalLength() override { return in.getTotalLength(); }
        bool isExhausted() override { return in.isExhausted(); }
        juce::int64 getPosition() override { return in.getPosition(); }
        bool setPosition (juce::int64 p) override { return in.setPosition (p); }

        int read (void* destBuffer, int maxBytesToRead) override
        {
            const auto start = in.getPosition();
            const auto numRead = in.read (destBuffer, maxBytesToRead);
            const auto end = start + numRead;
            auto* bytes = static_cast<char*> (destBuffer);

            auto id = std::lower_bound (hidden.begin(), hidden.end(), start - 3);   // the first to end after the start

            for (; id != hidden.end() && *id < end; ++id)
                for (auto i = juce::jmax (*id, start); i < juce::jmin (*id + 4, end); ++i)
                    bytes[i - start] = "JUNK"[i - *id];

            return numRead;
        }

    private:
        juce::FileInputStream in;
        const std::vector<juce::int64> hidden;
    };

    /** The largest ID3 chunk whose tags are read. */
    constexpr juce::int64 maxTagChunk = 16 << 20;

    /** Names the type of an ID3v2 frame's header, which TagLib keeps protected in the frame. */
    struct FrameAccess : TagLib::ID3v2::Frame
    {
        using Header = TagLib::ID3v2::Frame::Header;
    };

    /** Decodes of an ID3v2 tag only what the playlist shows: its first title and artist frames,
        when they can't grow past a few megabytes (zlib inflates up to ~1,030 times, so a compressed
        frame of a few kilobytes can hold gigabytes). Every other frame is kept as raw bytes, never
        decoded or decompressed, and the tag is read no further than its first thousand frames:
        TagLib spends half a kilobyte on each, and 16 MB of tiny frames took it 2 s and 700 MB. */
    class TitleAndArtistFrames : public TagLib::ID3v2::FrameFactory
    {
    protected:
        bool updateFrame (FrameAccess::Header* header) const override
        {
            if (++framesSeen > maxFrames)
            {
                header->setFrameSize (0);   // TagLib ends the tag at a frame of no size
                return false;
            }

            const bool current = FrameFactory::updateFrame (header);   // older versions' ids are renamed here
            const auto id = header->frameID();
            const bool first = idsSeen.insert (id).second;
            const auto limit = header->compression() ? maxDecodedBytes / 1024 : maxDecodedBytes;

            if (current && first && (id == "TIT2" || id == "TPE1") && header->frameSize() <= limit)
                return true;

            // Kept unknown; the flags cleared, TagLib keeps its bytes as they are.
            if (header->compression())
                header->setData (header->render(), header->version());

            return false;
        }

    private:
        static constexpr int maxFrames = 1000;
        static constexpr unsigned int maxDecodedBytes = 4 << 20;
        mutable int framesSeen = 0;
        mutable std::set<TagLib::ByteVector> idsSeen;
    };

    /** Bytes in memory as a file, for TagLib's tag reader. */
    class BytesFile : public TagLib::File
    {
    public:
        explicit BytesFile (TagLib::IOStream* stream)
            : TagLib::File (stream)
        {
        }

        TagLib::Tag* tag() const override { return nullptr; }
        TagLib::AudioProperties* audioProperties() const override { return nullptr; }
        bool save() override { return false; }
    };

    /** A tag's text as Unicode, cut to its first characters. TagLib holds it in UTF-16, and
        converts none of it when a character's surrogate pair is cut in two. */
    juce::String fromTag (const TagLib::String& text)
    {
        auto head = text.substr (0, 2 * PlaylistEntry::maxTagCharacters);

        if (! head.isEmpty() && (head[head.size() - 1] & 0xfc00) == 0xd800)
            head = head.substr (0, head.size() - 1);

        const auto utf8 = head.to8Bit (true);
        return juce::String::fromUTF8 (utf8.data(), (int) utf8.size()).substring (0, PlaylistEntry::maxTagCharacters);
    }

    /** The title and artist in the file's ID3 chunk, read as TagLib reads a WAV or AIFF file's
        tags, but with the file opened for reading only and only that chunk in memory. */
    std::pair<juce::String, juce::String> readTags (const juce::File& file)
    {
        const auto chunks = walkChunks (file);

        if (chunks.tagSize == 0 || chunks.tagSize > maxTagChunk)
            return {};

        TagLib::ByteVector bytes ((unsigned int) chunks.tagSize, 0);
        juce::FileInputStream in (file);

        if (! in.setPosition (chunks.tagStart) || in.read (bytes.data(), (int) bytes.size()) != (int) bytes.size())
            return {};

        TagLib::ByteVectorStream stream (bytes);
        BytesFile tagFile (&stream);
        const TitleAndArtistFrames frames;
        const TagLib::ID3v2::Tag tag (&tagFile, 0, &frames);
        return { fromTag (tag.title()), fromTag (tag.artist()) };
    }
}

PlaylistEntry::PlaylistEntry (const juce::File& f, juce::AudioFormatManager* manager, PointStore* root)
    : key (juce::MD5 (f.getFullPathName().toRawUTF8(), (size_t) f.getFullPathName().length()).toHexString()),
      points (root != nullptr ? root->pointsFor (key, f.getFullPathName()) : std::make_shared<PointStore::Points>()),
      cue (points->cue),
      loopA (points->loopA),
      loopB (points->loopB),
      formatManager (manager),
      dataRoot (root),
      file (f)
{
    if (auto reader = createCheckedReader (*formatManager, file))
    {
        std::tie (title, artist) = readTags (file);
        lengthSeconds = (float) ((double) reader->lengthInSamples / reader->sampleRate);
        reader.reset();
        points->fileOpened();

        // The element is claimed by its path at once, so another file sharing the key
        // that is added before this entry is destroyed doesn't take the same element.
        if (dataRoot != nullptr)
            dataRoot->claim (key, getFilePath());
    }

    position = cue.load();
}

PlaylistEntry::~PlaylistEntry()
{
    source.reset();
    storePoints();
}

void PlaylistEntry::storePoints()
{
    const bool userSetPoints = cue.load() != 0.0f || loopA.load() != 0.0f || loopB.load() != 0.0f;

    if (dataRoot != nullptr && (points->opened || userSetPoints))
        dataRoot->store (key, getFilePath(), *points);
}

juce::String PlaylistEntry::getKey() const
{
    return key;
}

float PlaylistEntry::getPositionSeconds() const
{
    if (source != nullptr)
        return source->positionToSeconds (source->getNextReadPosition());

    return position;
}

void PlaylistEntry::load (int samplesPerBlock, float outputSampleRate)
{
    auto reader = createCheckedReader (*formatManager, file);

    if (reader == nullptr)
        return;

    if (! points->opened)
    {
        // The file opened late (a drive mounted since it was added): its stored points
        // and length are known from now on.
        lengthSeconds = (float) ((double) reader->lengthInSamples / reader->sampleRate);
        points->fileOpened();
    }

    source = std::make_unique<ResampledAudioFormatReaderSource> (reader.release(), outputSampleRate);
    source->prepareResampled (samplesPerBlock, (double) outputSampleRate);
    position = cue.load();
    source->setNextReadPosition (source->secondsToPosition (cue));
}

juce::String PlaylistEntry::getFilePath() const
{
    return file.getFullPathName();
}
juce::String PlaylistEntry::getTitle() const
{
    return title;
}
juce::String PlaylistEntry::getArtist() const
{
    return artist;
}

std::unique_ptr<juce::AudioFormatReader> PlaylistEntry::createCheckedReader (juce::AudioFormatManager& manager,
                                                                             const juce::File& f, bool* readerIsLimited)
{
    // Only a regular file is opened: a FIFO or a device would block whoever opens it.
    if (! XmlFiles::isRegularFile (f))
        return nullptr;

    const auto fileSize = f.getSize();
    auto chunks = walkChunks (f);
    const auto readable = chunks.readable;

    if (readable < 0)
        return nullptr;

    std::unique_ptr<juce::AudioFormatReader> reader;
    const bool chunksHidden = ! chunks.hidden.empty();

    // Buffered: the readers take their headers a few bytes at a time, a system call each.
    auto stream = std::make_unique<juce::BufferedInputStream> (new HidingInputStream (f, std::move (chunks.hidden)),
                                                               4096, true);

    if (readable < fileSize)
        reader.reset (
            manager.createReaderFor (std::make_unique<juce::SubregionStream> (stream.release(), 0, readable, true)));
    else if (auto* format = manager.findFormatForFileExtension (f.getFileExtension()))
        reader.reset (format->createReaderFor (stream.release(), true));

    if (reader == nullptr)
        return nullptr;

    const auto bits = reader->bitsPerSample;
    const auto channels = (int) reader->numChannels;
    const auto rate = reader->sampleRate;

    const bool plausible = (bits == 8 || bits == 16 || bits == 24 || bits == 32 || bits == 64) && channels >= 1
                        && channels <= 64 && std::isfinite (rate) && rate >= 1000.0 && rate <= 1.0e6
                        && reader->lengthInSamples >= 0;

    if (! plausible)
        return nullptr;

    // A header may claim more audio than the file holds; what lies beyond reads as silence,
    // but the length shown and played must be what is really there. A file without frames
    // opens, with length 0.
    const auto bytesPerFrame = (juce::int64) channels * (bits / 8);
    const auto available = readable / bytesPerFrame;

    if (readerIsLimited != nullptr)
        *readerIsLimited = reader->lengthInSamples > available || readable < fileSize || chunksHidden;

    reader->lengthInSamples = juce::jmin (reader->lengthInSamples, available);
    return reader;
}
