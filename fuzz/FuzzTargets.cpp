#include "fuzz/FuzzTargets.h"

#include "engine/MidiMap.h"
#include "engine/ReplayProcessor.h"
#include "engine/XmlFiles.h"
#include "ui/ConfigFile.h"
#include "ui/ReplayProcessorEditor.h"
#include "ui/WaveformView.h"

#include <juce_cryptography/juce_cryptography.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace fuzzing
{
namespace
{
    //==============================================================================
    std::function<void (const juce::String&)>& failureHandler()
    {
        static std::function<void (const juce::String&)> handler;
        return handler;
    }

    /** Checks a condition; on failure reports it and returns false. */
    bool expect (bool condition, const juce::String& what)
    {
        if (! condition)
            fail (what);

        return condition;
    }

    /** JUCE assertions that arbitrary input reaches without anything being wrong, as
        "file:line" of JUCE 7.0.5:
        - the name checks of XmlElement's and its attributes' constructors: data.xml's
          elements are named by hex keys that may begin with a digit, and the parser accepts
          such names in any file, which the writer writes back as they were;
        - MidiMessage's length check: a host may hand the processor a truncated message in a
          MidiBuffer (the MIDI target makes them on purpose), which is still copied and
          matched safely;
        - AudioChannelSet's channel-number check: a WAV file may declare thousands of
          channels, which WavAudioFormatReader numbers one by one before the engine gets to
          reject the file (a BigInteger holds them; nothing goes wrong);
        - File's check for a backslash before the first slash, there to catch Windows paths:
          on Linux a file name may hold a backslash, and a playlist may name such a file;
        - String::fromUTF8's check that its bytes are UTF-8: the AIFF reader makes strings of
          the texts in a file's chunks (COMT, NAME, ...) without checking them first. */
    bool isTolerated (const juce::String& message)
    {
        static const char* const tolerated[] = {
            "JUCE Assertion failure in juce_XmlElement.cpp:72",
            "JUCE Assertion failure in juce_XmlElement.cpp:91",
            "JUCE Assertion failure in juce_XmlElement.cpp:103",
            "JUCE Assertion failure in juce_MidiMessage.cpp:137",
            "JUCE Assertion failure in juce_AudioChannelSet.cpp:439",
            "JUCE Assertion failure in juce_File.cpp:174",
            "JUCE Assertion failure in juce_String.cpp:2134",
        };

        for (auto* line : tolerated)
            if (message == line)
                return true;

        return false;
    }

    /** A deterministic seed from the input, for values the input doesn't spell out. */
    juce::int64 hashOf (const std::uint8_t* data, std::size_t size)
    {
        std::uint64_t h = 1469598103934665603ull;

        for (std::size_t i = 0; i < size; ++i)
            h = (h ^ data[i]) * 1099511628211ull;

        return (juce::int64) h;
    }

    /** Reads an input front to back; past the end every read gives 0. */
    struct ByteReader
    {
        ByteReader (const std::uint8_t* d, std::size_t s) : data (d), size (s) {}

        bool atEnd() const                     { return pos >= size; }
        std::uint8_t next()                    { return atEnd() ? 0 : data[pos++]; }
        std::size_t remaining() const          { return size - pos; }

        const std::uint8_t* take (std::size_t count)
        {
            const auto* p = data + pos;
            pos += juce::jmin (count, remaining());
            return p;
        }

        const std::uint8_t* data;
        std::size_t size;
        std::size_t pos = 0;
    };

    bool writeBytes (const juce::File& file, const void* data, std::size_t size)
    {
        file.getParentDirectory().createDirectory();
        juce::FileOutputStream out (file);

        if (! out.openedOk() || ! out.setPosition (0) || ! out.truncate().wasOk())
            return false;

        return size == 0 || out.write (data, size);
    }

    juce::MemoryBlock readBytes (const juce::File& file)
    {
        juce::MemoryBlock block;
        file.loadFileAsData (block);
        return block;
    }

    /** A float drawn for a point: ordinary times, negatives, tiny and huge values. */
    float randomPoint (juce::Random& random)
    {
        switch (random.nextInt (6))
        {
            case 0:  return 0.0f;
            case 1:  return random.nextFloat() * 5.0f;
            case 2:  return -random.nextFloat() * 100.0f;
            case 3:  return std::ldexp (random.nextFloat(), -random.nextInt (150));
            case 4:  return std::ldexp (random.nextFloat(), random.nextInt (128));
            default: return (float) random.nextInt (100000) / 1000.0f;
        }
    }

    /** A string of code points of every kind a path or file can hold: ASCII, control
        characters, Latin-1, the rest of the BMP (no surrogates) and beyond. */
    juce::String randomText (juce::Random& random, int maxLength)
    {
        juce::String text;
        const int length = random.nextInt (maxLength + 1);

        for (int i = 0; i < length; ++i)
        {
            juce::juce_wchar c = 0;

            switch (random.nextInt (5))
            {
                case 0:  c = (juce::juce_wchar) (1 + random.nextInt (31)); break;
                case 1:  c = (juce::juce_wchar) (0x80 + random.nextInt (0x80)); break;
                case 2:  c = (juce::juce_wchar) (0x100 + random.nextInt (0xd800 - 0x100)); break;
                case 3:  c = (juce::juce_wchar) (0x10000 + random.nextInt (0x100000)); break;
                default: c = (juce::juce_wchar) (0x20 + random.nextInt (0x5f)); break;
            }

            text += juce::String::charToString (c);
        }

        return text;
    }

    /** Renders one block under the callback lock, as the player's audio callback does. */
    void renderBlock (ReplayProcessor& processor, juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi)
    {
        const juce::ScopedLock sl (processor.getCallbackLock());
        processor.processBlock (buffer, midi);
    }

    constexpr double outputRate = 48000.0;
    constexpr int blockSize = 512;

    //==============================================================================
    // State kept between inputs. Each is made on first use (after HOME is set) and
    // released by releaseState().

    struct AudioState
    {
        AudioState()
        {
            processor.setRateAndBufferSizeDetails (outputRate, blockSize);
            viewFormats.registerBasicFormats();
            view = std::make_unique<WaveformView> (viewFormats, processor);
            view->setSize (600, 160);
            folder.createDirectory();
        }

        ~AudioState()
        {
            view->setSource (nullptr);
            view.reset();
            processor.clearPlaylist();
        }

        ReplayProcessor processor;
        juce::AudioFormatManager viewFormats;
        std::unique_ptr<WaveformView> view;
        const juce::File folder { juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile ("fuzz-audio") };
    };

    struct PlaylistState
    {
        PlaylistState()
        {
            processor.setRateAndBufferSizeDetails (outputRate, blockSize);
            editor = std::make_unique<ReplayProcessorEditor> (&processor);

            // The refresh timer is driven by hand, so every input runs the same way.
            editor->stopTimer();
            folder.createDirectory();
        }

        ~PlaylistState()
        {
            editor->buttonClicked (editor->clearButton.get());
            editor.reset();
        }

        ReplayProcessor processor;
        std::unique_ptr<ReplayProcessorEditor> editor;
        const juce::File folder { juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile ("fuzz-playlists") };
    };

    struct MidiState
    {
        MidiState()
        {
            processor.setRateAndBufferSizeDetails (outputRate, blockSize);
        }

        ReplayProcessor processor;
        juce::File second;
    };

    std::unique_ptr<AudioState>& audioState()        { static std::unique_ptr<AudioState> s; return s; }
    std::unique_ptr<PlaylistState>& playlistState()  { static std::unique_ptr<PlaylistState> s; return s; }
    std::unique_ptr<MidiState>& midiState()          { static std::unique_ptr<MidiState> s; return s; }

    template <typename State>
    State& get (std::unique_ptr<State>& state)
    {
        if (state == nullptr)
            state = std::make_unique<State>();

        return *state;
    }

    /** The paths of a processor's entries, in order. */
    juce::StringArray entryPaths (const ReplayProcessor& processor)
    {
        juce::StringArray paths;

        for (auto* entry : processor.playlist)
            paths.add (entry->getFilePath());

        return paths;
    }

    /** Parses text written by MidiMap::messageText ("90 3c 7f") back into bytes. */
    juce::MemoryBlock parseHex (const juce::String& text)
    {
        juce::MemoryBlock bytes;
        bytes.loadFromHexString (text);
        return bytes;
    }

    /** What a reader leaves beside a file it could not read: a .bak copy, which must be
        exact. (Whether a file can be read is the program's judgement, not the target's.) */
    bool checkBackup (const juce::File& backup, const void* data, std::size_t size)
    {
        if (! backup.existsAsFile())
            return true;

        return expect (size > 0, backup.getFileName() + " was made from an empty file")
            && expect (readBytes (backup) == juce::MemoryBlock (data, size),
                       backup.getFileName() + " does not hold the unreadable file");
    }

    bool sameBits (float a, float b)
    {
        return std::memcmp (&a, &b, sizeof (float)) == 0;
    }
}

//==============================================================================
ScopedAssertionCheck::ScopedAssertionCheck()
    : previous (juce::Logger::getCurrentLogger())
{
    juce::Logger::setCurrentLogger (this);
}

ScopedAssertionCheck::~ScopedAssertionCheck()
{
    juce::Logger::setCurrentLogger (previous);
}

void ScopedAssertionCheck::logMessage (const juce::String& message)
{
    if (isTolerated (message))
        return;

    std::fprintf (stderr, "%s\n", message.toRawUTF8());

    if (message.startsWith ("JUCE Assertion failure"))
        fail (message);
}

void setFailureHandler (std::function<void (const juce::String&)> handler)
{
    failureHandler() = std::move (handler);
}

void fail (const juce::String& message)
{
    if (auto& handler = failureHandler())
    {
        handler (message);
        return;
    }

    std::fprintf (stderr, "==velorin-fuzz== %s\n", message.toRawUTF8());
    std::fflush (stderr);
    std::abort();
}

void releaseState()
{
    playlistState().reset();
    audioState().reset();
    midiState().reset();
}

namespace
{
    struct FuzzEnvironment
    {
        FuzzEnvironment()
        {
            home = juce::File::createTempFile ("velorin-fuzz-home");
            home.createDirectory();
            setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);

            // Lets JUCE start without an application object.
            juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return nullptr; };
            gui = std::make_unique<juce::ScopedJuceInitialiser_GUI>();
            check = std::make_unique<ScopedAssertionCheck>();
        }

        ~FuzzEnvironment()
        {
            releaseState();
            check.reset();
            gui.reset();
            home.deleteRecursively();
        }

        juce::File home;
        std::unique_ptr<juce::ScopedJuceInitialiser_GUI> gui;
        std::unique_ptr<ScopedAssertionCheck> check;
    };

    // libFuzzer ends a run with exit() on this (the main) thread. Thread-local objects of
    // the exiting thread are destroyed before any static object, so everything is torn
    // down while JUCE's statics (among them the leak detector's counters) still exist.
    thread_local std::unique_ptr<FuzzEnvironment> environment;
}

void initialiseFuzzer()
{
    if (environment == nullptr)
        environment = std::make_unique<FuzzEnvironment>();
}

//==============================================================================
bool writeTone (const juce::File& file, double sampleRate, int numChannels, int numSamples,
                int bitsPerSample, double frequency)
{
    std::unique_ptr<juce::AudioFormat> format;

    if (file.hasFileExtension ("aif;aiff"))
        format = std::make_unique<juce::AiffAudioFormat>();
    else
        format = std::make_unique<juce::WavAudioFormat>();

    file.getParentDirectory().createDirectory();
    file.deleteFile();
    auto stream = std::make_unique<juce::FileOutputStream> (file);

    if (! stream->openedOk())
        return false;

    std::unique_ptr<juce::AudioFormatWriter> writer (format->createWriterFor (stream.get(), sampleRate,
                                                                              (unsigned int) numChannels,
                                                                              bitsPerSample, {}, 0));
    if (writer == nullptr)
        return false;

    stream.release();

    juce::AudioBuffer<float> buffer (numChannels, numSamples);

    for (int c = 0; c < numChannels; ++c)
        for (int i = 0; i < numSamples; ++i)
            buffer.setSample (c, i, 0.5f * (float) std::sin (juce::MathConstants<double>::twoPi * frequency
                                                             * (1.0 + 0.01 * c) * i / sampleRate));

    return writer->writeFromAudioSampleBuffer (buffer, 0, numSamples);
}

juce::File getTakeFile()
{
    const auto file = juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile ("audio/take.wav");

    if (! file.existsAsFile())
        writeTone (file, 44100.0, 2, 22050, 16);

    return file;
}

//==============================================================================
void fuzzAudioFile (const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return;

    auto& state = get (audioState());
    auto& processor = state.processor;
    const auto options = data[0];

    // The file: its name decides which format JUCE and TagLib take it for.
    const auto file = state.folder.getChildFile ((options & 1) != 0 ? "input.aif" : "input.wav");

    if (! expect (writeBytes (file, data + 1, size - 1), "cannot write the input file"))
        return;

    processor.addFile (file);

    if (! expect (processor.playlist.size() == 1, "the file was not added"))
        return;

    auto* entry = processor.playlist[0];

    // Points and flags from the option byte, as a user may have set them.
    static const float points[] = { 0.0f, 0.3f, 1.7f, 2.9f, -5.0f, 3.0e38f, 1.0e6f, 0.01f };
    entry->cue = points[(options >> 2) & 7];
    entry->loopA = points[(options >> 5) & 7];
    entry->loopB = points[((options >> 5) + (options >> 2)) & 7];
    processor.loopEnabled = (options & 2) != 0;
    processor.paused = false;

    // The waveform view: only a file the engine accepts goes to the thumbnail, which must
    // not claim more audio than the file holds, and must finish reading it.
    state.view->setSource (entry);
    auto& thumbnail = state.view->thumbnail;
    const auto thumbnailLength = thumbnail.getTotalLength();
    const auto entryLength = (double) entry->lengthSeconds;

    bool ok = expect (thumbnailLength <= entryLength * 1.000001 + 1.0e-6,
                      "the waveform's thumbnail shows " + juce::String (thumbnailLength) + " s of a file that holds "
                          + juce::String (entryLength) + " s");

    if (ok)
    {
        const auto deadline = juce::Time::getMillisecondCounterHiRes() + 5000.0;

        while (! thumbnail.isFullyLoaded())
        {
            if (juce::Time::getMillisecondCounterHiRes() > deadline)
            {
                ok = expect (false, "the waveform's thumbnail is still reading after 5 s");
                break;
            }

            std::this_thread::sleep_for (std::chrono::microseconds (50));
        }
    }

    // Three seconds of playback; a file the engine rejects gets one block, which tries (and
    // fails) to open it again.
    if (ok)
    {
        juce::AudioBuffer<float> buffer (2, blockSize);
        juce::MidiBuffer midi;
        const int numBlocks = entry->lengthSeconds > 0.0f ? (int) std::ceil (3.0 * outputRate / blockSize) : 1;

        for (int i = 0; i < numBlocks; ++i)
        {
            processor.paused = false;
            renderBlock (processor, buffer, midi);
        }
    }

    state.view->setSource (nullptr);
    state.view->thumbnailCache.clear();
    processor.clearPlaylist();
}

//==============================================================================
namespace
{
    /** Puts the take's key and path into the input where it asks for them, so that a data
        file can hold the element of the file the target adds (its name is the hash of a path
        that changes with HOME), and a playlist can list it. */
    juce::MemoryBlock substituteTake (const std::uint8_t* data, std::size_t size, const juce::String& key,
                                      const juce::String& path)
    {
        const std::pair<const char*, juce::String> tokens[] = {
            { "@key@", key }, { "@KEY@", key.toUpperCase() }, { "@path@", path }
        };

        juce::MemoryOutputStream out;
        std::size_t i = 0;

        while (i < size)
        {
            bool replaced = false;

            if (data[i] == '@')
            {
                for (auto& [token, value] : tokens)
                {
                    const auto length = std::strlen (token);

                    if (i + length <= size && std::memcmp (data + i, token, length) == 0)
                    {
                        out << value;
                        i += length;
                        replaced = true;
                        break;
                    }
                }
            }

            if (! replaced)
                out.writeByte ((char) data[i++]);
        }

        return out.getMemoryBlock();
    }
}

void fuzzDataFile (const std::uint8_t* data, std::size_t size)
{
    const auto take = getTakeFile();
    const auto dataFile = ReplayProcessor::getDataFile();
    const auto backup = dataFile.getSiblingFile ("data.xml.bak");
    backup.deleteFile();

    juce::String key;
    {
        const auto path = take.getFullPathName();
        key = juce::MD5 (path.toRawUTF8(), (size_t) path.length()).toHexString();
    }

    const auto input = substituteTake (data, size, key, take.getFullPathName());

    if (! expect (writeBytes (dataFile, input.getData(), input.getSize()), "cannot write data.xml"))
        return;

    juce::Random random (hashOf (data, size));
    const float cue = randomPoint (random);
    const float loopA = randomPoint (random);
    const float loopB = randomPoint (random);

    {
        ReplayProcessor first;
        first.addFile (take);

        if (! expect (first.playlist.size() == 1 && first.playlist[0]->lengthSeconds > 0.0f,
                      "the take did not open"))
            return;

        auto* entry = first.playlist[0];
        entry->cue = cue;
        entry->loopA = loopA;
        entry->loopB = loopB;
    }

    // What couldn't be read is kept beside the fresh file.
    if (! checkBackup (backup, input.getData(), input.getSize()))
        return;

    if (! expect (juce::XmlDocument (dataFile).getDocumentElement() != nullptr,
                  "the data.xml the processor wrote does not parse"))
        return;

    {
        ReplayProcessor second;
        second.addFile (take);

        if (! expect (second.playlist.size() == 1, "the take was not added again"))
            return;

        const auto* entry = second.playlist[0];

        if (! expect (sameBits (entry->cue, cue) && sameBits (entry->loopA, loopA) && sameBits (entry->loopB, loopB),
                      "the points read back (" + juce::String (entry->cue.load()) + ", " + juce::String (entry->loopA.load())
                          + ", " + juce::String (entry->loopB.load()) + ") differ from those written ("
                          + juce::String (cue) + ", " + juce::String (loopA) + ", " + juce::String (loopB) + ")"))
            return;
    }

    expect (juce::XmlDocument (dataFile).getDocumentElement() != nullptr,
            "the data.xml written a second time does not parse");
}

//==============================================================================
void fuzzMidiMap (const std::uint8_t* data, std::size_t size)
{
    const auto mapFile = MidiMap::getMapFile();
    const auto backup = mapFile.getSiblingFile ("midi.map.bak");
    backup.deleteFile();

    if (! expect (writeBytes (mapFile, data, size), "cannot write midi.map"))
        return;

    juce::Random random (hashOf (data, size));
    juce::String expected[MidiMap::numMappings];

    {
        MidiMap map;

        // Learn a message into one row: a short message, or a SysEx longer than the
        // matcher's fixed buffer.
        juce::MidiMessage message;

        if (random.nextInt (4) == 0)
        {
            juce::HeapBlock<std::uint8_t> sysex (200);
            const int length = 1 + random.nextInt (150);

            for (int i = 0; i < length; ++i)
                sysex[i] = (std::uint8_t) random.nextInt (128);

            message = juce::MidiMessage::createSysExMessage (sysex, length);
        }
        else
        {
            message = juce::MidiMessage::noteOn (1 + random.nextInt (16), random.nextInt (128),
                                                 (juce::uint8) random.nextInt (128));
        }

        const int target = random.nextInt (MidiMap::numMappings);
        int action = -1;

        map.learning = true;
        map.selectLearnTarget (target);
        map.handleMessage (message, action);
        map.learning = false;

        if (! expect (map.mappings[target].message == MidiMap::messageText (message),
                      "the learned message was not stored"))
            return;

        int first = 0;

        while (map.mappings[first].message != map.mappings[target].message)
            ++first;

        if (! expect (map.handleMessage (message, action) && action == map.mappings[first].action.load(),
                      "the learned message does not match its action"))
            return;

        for (int i = 0; i < MidiMap::numMappings; ++i)
            expected[i] = map.mappings[i].message;
    }

    if (! checkBackup (backup, data, size))
        return;

    if (! expect (juce::XmlDocument (mapFile).getDocumentElement() != nullptr,
                  "the midi.map written does not parse"))
        return;

    MidiMap again;

    for (int i = 0; i < MidiMap::numMappings; ++i)
        if (! expect (again.mappings[i].message == expected[i],
                      "mapping " + juce::String (i) + " reads back as \"" + again.mappings[i].message
                          + "\" instead of \"" + expected[i] + "\""))
            return;
}

//==============================================================================
void fuzzConfigFile (const std::uint8_t* data, std::size_t size)
{
    const auto configFile = XmlFiles::getDataFolder().getChildFile (".config");

    if (! expect (writeBytes (configFile, data, size), "cannot write .config"))
        return;

    juce::Random random (hashOf (data, size));
    static const char* const keys[] = { "LastUsedPath", "LastUsedFile", "LastUsedPlaylist" };
    const juce::String key = keys[random.nextInt (3)];
    const auto value = "/" + randomText (random, 40);

    std::unique_ptr<juce::XmlElement> first, second;

    {
        ConfigFile config ("Velorin");
        config.setValue (key, value);

        if (! expect (config.getValue (key) == value, "the value set does not read back"))
            return;

        first = std::make_unique<juce::XmlElement> (config.settings);
    }

    if (! expect (juce::XmlDocument (configFile).getDocumentElement() != nullptr,
                  "the .config written does not parse"))
        return;

    // What was read from the input comes back exactly in its tag and attributes; its text
    // may be read differently once (the parser turns CR LF into LF, and keeps what follows
    // a '&' it can't resolve as plain text), but from then on every write reads back alike.
    {
        ConfigFile config ("Velorin");

        if (! expect (config.getValue (key) == value, "the value written does not read back"))
            return;

        bool same = config.settings.getTagName() == first->getTagName()
                 && config.settings.getNumAttributes() == first->getNumAttributes();

        for (int i = 0; same && i < first->getNumAttributes(); ++i)
            same = config.settings.getAttributeName (i) == first->getAttributeName (i)
                && config.settings.getAttributeValue (i) == first->getAttributeValue (i);

        if (! expect (same, "the settings read back differ from those written:\n" + first->toString() + "\n---\n"
                                + config.settings.toString()))
            return;

        second = std::make_unique<juce::XmlElement> (config.settings);
    }

    ConfigFile third ("Velorin");
    expect (third.settings.isEquivalentTo (second.get(), false),
            "the settings change from one write to the next:\n" + second->toString() + "\n---\n"
                + third.settings.toString());
}

//==============================================================================
void fuzzPlaylist (const std::uint8_t* data, std::size_t size)
{
    const auto take = getTakeFile();
    const auto input = substituteTake (data, size, {}, take.getFullPathName());
    auto& state = get (playlistState());
    auto& editor = *state.editor;
    auto& processor = state.processor;

    const auto loaded = state.folder.getChildFile ("loaded.xml");
    const auto saved = state.folder.getChildFile ("saved.xml");

    if (! expect (writeBytes (loaded, input.getData(), input.getSize()), "cannot write the playlist"))
        return;

    saved.deleteFile();

    const auto clear = [&]
    {
        editor.buttonClicked (editor.clearButton.get());
        editor.timerCallback();
    };

    editor.loadChosen (loaded);
    editor.timerCallback();   // shows the current entry, as the refresh timer would
    const auto first = entryPaths (processor);

    editor.saveChosen (saved);
    bool ok = expect (juce::XmlDocument (saved).getDocumentElement() != nullptr,
                      "the saved playlist does not parse");
    clear();

    if (ok)
    {
        editor.loadChosen (saved);
        editor.timerCallback();
        const auto second = entryPaths (processor);

        expect (first == second, "the saved playlist loads " + juce::String (second.size()) + " files instead of "
                                     + juce::String (first.size()) + ":\n" + first.joinIntoString ("\n") + "\n---\n"
                                     + second.joinIntoString ("\n"));
    }

    clear();
}

//==============================================================================
void fuzzMidiMessages (const std::uint8_t* data, std::size_t size)
{
    auto& state = get (midiState());
    auto& processor = state.processor;
    auto& map = processor.midiMap;

    // A fresh two-file playlist, so positions and loaded sources don't carry over.
    if (state.second == juce::File())
    {
        state.second = juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile ("audio/second.aif");
        writeTone (state.second, 22050.0, 1, 4000, 24, 330.0);
    }

    processor.clearPlaylist();
    processor.addFile (getTakeFile());
    processor.addFile (state.second);
    processor.selectTrack (0);
    processor.paused = true;
    processor.loopEnabled = false;
    map.learning = false;
    map.learnIndex = -1;

    for (auto& mapping : map.mappings)
        mapping.message.clear();

    juce::AudioBuffer<float> buffer (2, blockSize);
    juce::MidiBuffer midi;
    ByteReader in (data, size);

    while (! in.atEnd())
    {
        const auto op = in.next();

        switch (op % 4)
        {
            case 0:
                map.learning = (op & 0x80) != 0;
                break;

            case 1:
                map.selectLearnTarget ((op >> 2) % (MidiMap::numMappings + 2) - 1);
                break;

            case 2:
            {
                const auto length = (std::size_t) in.next();
                const int position = (in.next() * 2) % blockSize;
                const auto available = juce::jmin (length, in.remaining());
                const auto* bytes = in.take (available);

                if (available > 0)
                    midi.addEvent (bytes, (int) available, position);

                break;
            }

            default:
                renderBlock (processor, buffer, midi);
                midi.clear();
                break;
        }
    }

    renderBlock (processor, buffer, midi);
    midi.clear();

    // Every learned message must now trigger its row's action (the first row holding it).
    map.learning = false;

    for (int i = 0; i < MidiMap::numMappings; ++i)
    {
        const auto text = map.mappings[i].message;

        if (text.isEmpty())
            continue;

        const auto bytes = parseHex (text);

        if (! expect (bytes.getSize() > 0 && MidiMap::messageText (juce::MidiMessage (bytes.getData(), (int) bytes.getSize())) == text,
                      "mapping " + juce::String (i) + " holds \"" + text + "\", which is no message's text"))
            return;

        int first = 0;

        while (map.mappings[first].message != text)
            ++first;

        int action = -1;

        if (! expect (map.handleMessage (juce::MidiMessage (bytes.getData(), (int) bytes.getSize()), action)
                          && action == map.mappings[first].action.load(),
                      "the message learned into mapping " + juce::String (i) + " (" + text + ") does not match"))
            return;

        midi.addEvent (bytes.getData(), (int) bytes.getSize(), 0);
        renderBlock (processor, buffer, midi);
        midi.clear();
    }
}

//==============================================================================
const std::vector<Target>& getTargets()
{
    static const std::vector<Target> targets {
        { "audio_file",    fuzzAudioFile,    16384 },
        { "data_file",     fuzzDataFile,     8192 },
        { "midi_map",      fuzzMidiMap,      4096 },
        { "config_file",   fuzzConfigFile,   4096 },
        { "playlist",      fuzzPlaylist,     8192 },
        { "midi_messages", fuzzMidiMessages, 2048 },
    };

    return targets;
}

const Target* findTarget (const juce::String& name)
{
    for (auto& target : getTargets())
        if (name == target.name)
            return &target;

    return nullptr;
}
}
