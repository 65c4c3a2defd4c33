#include "FuzzTargets.h"
#include "TestKit.h"

#include "engine/XmlFiles.h"
#include "ui/ConfigFile.h"
#include "ui/ReplayProcessorEditor.h"

#include <juce_cryptography/juce_cryptography.h>

#include <cstring>
#include <thread>

namespace fuzzing
{
namespace
{
    std::function<void (const juce::String&)> failureHandler;

    bool expect (bool condition, const juce::String& what)   { return condition || (fail (what), false); }
    juce::File homeFile (const char* path)                   { return juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile (path); }

    bool write (const juce::File& file, const juce::MemoryBlock& bytes)
    {
        return expect (file.getParentDirectory().createDirectory() && (file.replaceWithData (bytes.getData(), bytes.getSize()) || bytes.isEmpty()), "cannot write " + file.getFileName());
    }

    /** A reader leaves an exact .bak copy beside a file it could not read, or none. */
    bool backupHolds (const juce::File& file, const juce::MemoryBlock& input)
    {
        juce::MemoryBlock backup;
        const auto bak = file.getSiblingFile (file.getFileName() + ".bak");
        return ! bak.existsAsFile() || expect (bak.loadFileAsData (backup) && backup == input && ! input.isEmpty(), bak.getFileName() + " does not hold the unreadable file");
    }

    bool parses (const juce::File& file)   { return expect (juce::XmlDocument::parse (file) != nullptr, "the " + file.getFileName() + " written does not parse"); }

    /** The input with "@key@", "@KEY@" and "@path@" standing for a real file's key and path. */
    juce::MemoryBlock withTake (const std::uint8_t* data, std::size_t size)
    {
        const auto take = homeFile ("audio/take.wav");
        if (! take.existsAsFile())
            testkit::writeAudio (take, 44100.0, 2, 22050, 16);
        const auto path = take.getFullPathName(), key = juce::MD5 (path.toRawUTF8(), (size_t) path.length()).toHexString();
        const std::pair<const char*, juce::String> tokens[] = { { "@key@", key }, { "@KEY@", key.toUpperCase() }, { "@path@", path } };
        juce::MemoryOutputStream out;
        for (std::size_t i = 0; i < size;)
        {
            const auto* token = std::find_if (std::begin (tokens), std::end (tokens), [&] (auto& t)
                                              { return i + std::strlen (t.first) <= size && std::memcmp (data + i, t.first, std::strlen (t.first)) == 0; });
            if (token == std::end (tokens))
                out.writeByte ((char) data[i++]);
            else
                out << token->second, i += std::strlen (token->first);
        }
        return out.getMemoryBlock();
    }

    juce::Random seededBy (const std::uint8_t* data, std::size_t size)
    {
        std::uint64_t hash = 1469598103934665603ull;
        for (std::size_t i = 0; i < size; ++i)
            hash = (hash ^ data[i]) * 1099511628211ull;
        return juce::Random ((juce::int64) hash);
    }

    /** Byte 0: bit 0 ".aif" instead of ".wav", bit 1 loop on, bits 2-4 cue, 5-7 loop points. The
        rest is the file: added, shown in a waveform view and played for three seconds. */
    void audioFile (const std::uint8_t* data, std::size_t size)
    {
        const auto file = homeFile (size > 0 && (data[0] & 1) != 0 ? "fuzz/input.aif" : "fuzz/input.wav");
        if (size == 0 || ! write (file, juce::MemoryBlock (data + 1, size - 1)))
            return;
        ReplayProcessor processor;
        processor.setRateAndBufferSizeDetails (48000.0, 512);
        processor.addFile (file);
        auto& entry = *processor.playlist[0];
        const float points[] = { 0.0f, 0.3f, 1.7f, 2.9f, -5.0f, 3.0e38f, 1.0e6f, 0.01f };
        entry.cue = points[(data[0] >> 2) & 7];
        entry.loopA = points[(data[0] >> 5) & 7];
        entry.loopB = points[((data[0] >> 5) + (data[0] >> 2)) & 7];
        processor.loopEnabled = (data[0] & 2) != 0;

        // Only a file the engine accepts reaches the thumbnail, which must not claim more than
        // the file holds, and must finish reading it.
        juce::AudioFormatManager formats;
        formats.registerBasicFormats();
        WaveformView view (formats, processor);
        view.setSource (&entry);
        bool ok = expect (view.thumbnail.getTotalLength() <= entry.lengthSeconds * 1.000001 + 1.0e-6, "the thumbnail is longer than the file");
        for (const auto deadline = juce::Time::getMillisecondCounter() + 5000; ok && ! view.thumbnail.isFullyLoaded(); std::this_thread::sleep_for (std::chrono::microseconds (50)))
            ok = expect (juce::Time::getMillisecondCounter() < deadline, "the thumbnail is still reading after 5 s");
        juce::AudioBuffer<float> buffer (2, 512);
        for (int i = ! ok ? 0 : entry.lengthSeconds > 0.0f ? 282 : 1; --i >= 0;)   // a rejected file: one more try to open it
            processor.paused = false, testkit::renderBlock (processor, buffer);
        view.setSource (nullptr);
    }

    /** data.xml: a processor reads it, adds the take and sets its points; the file it writes must
        parse and give a second processor the same points, bit for bit. */
    void dataFile (const std::uint8_t* data, std::size_t size)
    {
        const auto file = ReplayProcessor::getDataFile();
        const auto input = withTake (data, size);
        file.getSiblingFile ("data.xml.bak").deleteFile();
        if (! write (file, input))
            return;
        auto random = seededBy (data, size);
        float points[3], read[3];
        for (auto& p : points)
            p = std::array { 0.0f, random.nextFloat() * 5.0f, -random.nextFloat() * 100.0f, std::ldexp (random.nextFloat(), -random.nextInt (150)),
                             std::ldexp (random.nextFloat(), random.nextInt (128)), (float) random.nextInt (100000) / 1000.0f }[(size_t) random.nextInt (6)];
        for (auto* values : { points, read })
        {
            ReplayProcessor processor;
            processor.addFile (homeFile ("audio/take.wav"));
            auto& entry = *processor.playlist[0];
            if (! expect (entry.lengthSeconds > 0.0f, "the take did not open"))
                return;
            if (values == points)
                entry.cue = points[0], entry.loopA = points[1], entry.loopB = points[2];
            values[0] = entry.cue, values[1] = entry.loopA, values[2] = entry.loopB;
        }
        if (expect (std::memcmp (points, read, sizeof (points)) == 0, "the points read back differ from those written") && backupHolds (file, input))
            parses (file);
    }

    /** midi.map: a map reads it and learns a message (short, or a long SysEx), which must match;
        a second map must read the same mappings. */
    void midiMap (const std::uint8_t* data, std::size_t size)
    {
        const auto file = MidiMap::getMapFile();
        file.getSiblingFile ("midi.map.bak").deleteFile();
        if (! write (file, juce::MemoryBlock (data, size)))
            return;
        auto random = seededBy (data, size);
        juce::uint8 sysex[150];
        for (auto& byte : sysex)
            byte = (juce::uint8) random.nextInt (128);
        const auto message = random.nextInt (4) == 0 ? juce::MidiMessage::createSysExMessage (sysex, 1 + random.nextInt (150))
                                                     : juce::MidiMessage::noteOn (1 + random.nextInt (16), random.nextInt (128), (juce::uint8) random.nextInt (128));
        juce::StringArray learned;
        {
            MidiMap map;
            int target = random.nextInt (MidiMap::numMappings), first = 0, action = -1;
            map.learning = true;
            map.selectLearnTarget (target);
            map.handleMessage (message, action);
            map.learning = false;
            while (map.mappings[first].message != map.mappings[target].message)
                ++first;
            if (! expect (map.mappings[target].message == MidiMap::messageText (message) && map.handleMessage (message, action) && action == first,
                          "the learned message was not stored or does not match its action"))
                return;
            for (auto& mapping : map.mappings)
                learned.add (mapping.message);
        }
        if (! backupHolds (file, juce::MemoryBlock (data, size)) || ! parses (file))
            return;
        MidiMap again;
        for (int i = 0; i < MidiMap::numMappings; ++i)
            expect (again.mappings[i].message == learned[i], "mapping " + juce::String (i) + " reads back as \"" + again.mappings[i].message + "\"");
    }

    /** .config: read, a value set, written. What was read comes back exactly in its tag and
        attributes (text may be read differently once: the parser turns CR LF into LF, and keeps
        what follows a '&' it can't resolve as text), and from then on every write alike. */
    void configFile (const std::uint8_t* data, std::size_t size)
    {
        if (! write (XmlFiles::getDataFile (".config"), juce::MemoryBlock (data, size)))
            return;
        auto random = seededBy (data, size);
        const juce::String key = std::array { "LastUsedPath", "LastUsedFile", "LastUsedPlaylist" }[(size_t) random.nextInt (3)];
        juce::String value = "/";
        for (int i = random.nextInt (41); --i >= 0;)   // code points of every kind but surrogates
            value += juce::String::charToString ((juce::juce_wchar) std::array { 1 + random.nextInt (31), 0x80 + random.nextInt (0x80), 0x100 + random.nextInt (0xd800 - 0x100),
                                                                                0x10000 + random.nextInt (0x100000), 0x20 + random.nextInt (0x5f) }[(size_t) random.nextInt (5)]);
        std::vector<juce::XmlElement> settings;
        for (int pass = 0; pass < 3; ++pass)
        {
            ConfigFile config ("Velorin");
            if (pass == 0)
                config.setValue (key, value);
            if (pass < 2 && ! expect (config.getValue (key) == value, "the value set does not read back"))
                return;
            settings.push_back (config.settings);
        }
        bool same = settings[0].getTagName() == settings[1].getTagName() && settings[0].getNumAttributes() == settings[1].getNumAttributes();
        for (int i = 0; same && i < settings[0].getNumAttributes(); ++i)
            same = settings[0].getAttributeName (i) == settings[1].getAttributeName (i) && settings[0].getAttributeValue (i) == settings[1].getAttributeValue (i);
        if (expect (same, "the settings read back differ from those written:\n" + settings[0].toString() + "\n---\n" + settings[1].toString()))
            expect (settings[2].isEquivalentTo (&settings[1], false), "the settings change from one write to the next");
    }

    /** A playlist loaded by the editor; saved, cleared and loaded again it lists the same files. */
    void playlist (const std::uint8_t* data, std::size_t size)
    {
        const auto loaded = homeFile ("fuzz/loaded.xml"), saved = homeFile ("fuzz/saved.xml");
        if (! write (loaded, withTake (data, size)) || ! saved.deleteFile())
            return;
        ReplayProcessor processor;
        ReplayProcessorEditor editor (&processor);
        editor.stopTimer();   // driven by hand, so every input runs alike
        juce::StringArray lists[2];
        for (auto* paths : { &lists[0], &lists[1] })
        {
            editor.loadChosen (paths == lists ? loaded : saved);
            editor.timerCallback();   // shows the current entry
            for (auto* entry : processor.playlist)
                paths->add (entry->getFilePath());
            if (paths == lists)
                editor.saveChosen (saved);
            editor.buttonClicked (editor.clearButton.get());
            editor.timerCallback();
            if (paths == lists && ! parses (saved))
                return;
        }
        expect (lists[0] == lists[1], "the saved playlist loads other files:\n" + lists[0].joinIntoString ("\n") + "\n---\n" + lists[1].joinIntoString ("\n"));
    }

    /** A program run through processBlock: op % 4 = 0 learning on/off (bit 7), 1 learn target
        (op >> 2) % 6 - 1, 2 an event (length, position / 2, bytes), 3 a block. Every learned
        message must then match its row's action (the first row holding it). */
    void midiMessages (const std::uint8_t* data, std::size_t size)
    {
        ReplayProcessor processor;
        processor.setRateAndBufferSizeDetails (48000.0, 512);
        withTake (data, 0);
        if (! homeFile ("audio/second.aif").existsAsFile())
            testkit::writeAudio (homeFile ("audio/second.aif"), 22050.0, 1, 4000);
        for (auto* name : { "audio/take.wav", "audio/second.aif" })
            processor.addFile (homeFile (name));
        processor.selectTrack (0);
        auto& map = processor.midiMap;
        for (auto& mapping : map.mappings)
            mapping.message.clear();

        juce::AudioBuffer<float> buffer (2, 512);
        juce::MidiBuffer midi;
        const auto next = [&] (std::size_t& i) -> std::size_t { return i < size ? data[i++] : 0; };
        for (std::size_t i = 0; i < size;)
        {
            const auto op = next (i);
            if (op % 4 == 0)
                map.learning = (op & 0x80) != 0;
            else if (op % 4 == 1)
                map.selectLearnTarget ((int) (op >> 2) % (MidiMap::numMappings + 2) - 1);
            else if (op % 4 == 2)
            {
                const auto length = next (i), position = next (i) * 2 % 512, available = juce::jmin (length, size - i);
                if (available > 0)
                    midi.addEvent (data + i, (int) available, (int) position);
                i += available;
            }
            if (op % 4 == 3 || i == size)
                testkit::renderBlock (processor, buffer, midi), midi.clear();
        }

        map.learning = false;
        for (int i = 0, first = 0, action = -1; i < MidiMap::numMappings; ++i, first = 0)
        {
            const auto text = map.mappings[i].message;
            juce::MemoryBlock bytes;
            bytes.loadFromHexString (text);
            if (text.isEmpty() || ! expect (bytes.getSize() > 0, "mapping " + juce::String (i) + " holds \"" + text + "\", which is no message's text"))
                continue;
            const juce::MidiMessage message (bytes.getData(), (int) bytes.getSize());
            while (map.mappings[first].message != text)
                ++first;
            if (! expect (MidiMap::messageText (message) == text && map.handleMessage (message, action) && action == first,
                          "the message learned into mapping " + juce::String (i) + " (" + text + ") does not match"))
                return;
            midi.addEvent (message, 0);
            testkit::renderBlock (processor, buffer, midi);
            midi.clear();
        }
    }
}

const Target* findTarget (const juce::String& name)
{
    static const Target targets[] = { { "audio_file", audioFile, 16384 }, { "data_file", dataFile, 8192 }, { "midi_map", midiMap, 4096 },
                                       { "config_file", configFile, 4096 }, { "playlist", playlist, 8192 }, { "midi_messages", midiMessages, 2048 } };
    for (auto& target : targets)
        if (name == target.name)
            return &target;
    return nullptr;
}

void setFailureHandler (std::function<void (const juce::String&)> handler)   { failureHandler = std::move (handler); }

void fail (const juce::String& message)
{
    if (failureHandler)
        return failureHandler (message);
    std::fprintf (stderr, "==velorin-fuzz== %s\n", message.toRawUTF8());
    std::abort();
}
}
