#include "FuzzTargets.h"
#include "TestKit.h"
#include "engine/XmlFiles.h"
#include "ui/ConfigFile.h"
#include "ui/ReplayProcessorEditor.h"
#include <juce_cryptography/juce_cryptography.h>

namespace fuzzing { using Bytes = const std::uint8_t*;
static bool expect (bool condition, const juce::String& what)   { return condition || (fail (what), false); }
static juce::File homeFile (const char* path)                   { return juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile (path); }
static juce::Random seededBy (Bytes data, std::size_t size)     { return juce::Random ((juce::int64) std::accumulate (data, data + size, 1469598103934665603ull, [] (std::uint64_t h, std::uint8_t b) { return (h ^ b) * 1099511628211ull; })); }
static bool write (const juce::File& f, const juce::MemoryBlock& bytes)   { return expect (f.getParentDirectory().createDirectory() && (f.replaceWithData (bytes.getData(), bytes.getSize()) || bytes.isEmpty()), "cannot write " + f.getFileName()); }
static juce::File sample (bool second) {   // a real audio file in ~/audio, written once
    const auto f = homeFile (second ? "audio/second.aif" : "audio/take.wav");
    return f.existsAsFile() || (second ? testkit::writeAudio (f, 22050.0, 1, 4000) : testkit::writeAudio (f, 44100.0, 2, 22050, 16)), f; }
/** The input with "@key@", "@KEY@" and "@path@" standing for the take's key and path. */
static juce::MemoryBlock withTake (Bytes data, std::size_t size) {
    const auto path = sample (false).getFullPathName(), key = juce::MD5 (path.toRawUTF8(), (size_t) path.length()).toHexString();
    const std::pair<std::string, std::string> tokens[] = { { "@key@", key.toStdString() }, { "@KEY@", key.toUpperCase().toStdString() }, { "@path@", path.toStdString() } };
    std::string text (reinterpret_cast<const char*> (data), size);
    for (std::size_t i = 0; i < text.size(); ++i)
        if (auto* t = std::find_if (std::begin (tokens), std::end (tokens), [&] (auto& token) { return text.compare (i, token.first.size(), token.first) == 0; }); t != std::end (tokens))
            text.replace (i, t->first.size(), t->second), i += t->second.size() - 1;
    return { text.data(), text.size() };
}
/** A stored file: the input in `file` is read by the program, which changes what it read and writes it (pass 0); read again (pass 1)
    it gives the same state. A .bak left beside the file holds the unreadable input exactly, and the file written (or `file`) parses. */
static void roundTrip (const juce::File& file, const juce::MemoryBlock& input, const std::function<juce::String (int pass)>& state, const juce::File& written = {}) {
    const auto bak = file.getSiblingFile (file.getFileName() + ".bak"), out = written == juce::File() ? file : written;
    if (! bak.deleteFile() || ! write (file, input)) return;
    juce::MemoryBlock backup; const auto before = state (0), after = state (1);
    expect (before == after, "what was written reads back otherwise:\n" + before + "\n---\n" + after);
    expect (! bak.existsAsFile() || (bak.loadFileAsData (backup) && backup == input && ! input.isEmpty()), bak.getFileName() + " does not hold the unreadable file");
    expect (juce::XmlDocument::parse (out) != nullptr, "the " + out.getFileName() + " written does not parse");
}
/** The first row holding a message's text is the action the message triggers. */
static bool triggersItsRow (MidiMap& map, const juce::MidiMessage& message) {
    int first = 0, action = -1; while (first < MidiMap::numMappings && map.getMessage (first) != MidiMap::messageText (message)) ++first;
    return expect (first < MidiMap::numMappings && map.handleMessage (message, action) && action == first, "the message " + MidiMap::messageText (message) + " does not trigger its row");
}
/** The input (see README.md) added, shown in a waveform view, which claims no more than the file holds and finishes reading it, and played. */
static void audioFile (Bytes data, std::size_t size) {
    const auto file = homeFile (size > 0 && (data[0] & 1) != 0 ? "fuzz/input.aif" : "fuzz/input.wav");
    if (size == 0 || ! write (file, juce::MemoryBlock (data + 1, size - 1))) return;
    ReplayProcessor processor; processor.setRateAndBufferSizeDetails (48000.0, 512), processor.addFile (file), processor.loopEnabled = (data[0] & 2) != 0;
    auto& entry = *processor.playlist[0];
    const float points[] = { 0.0f, 0.3f, 1.7f, 2.9f, -5.0f, 3.0e38f, 1.0e6f, 0.01f };
    entry.cue = points[(data[0] >> 2) & 7], entry.loopA = points[(data[0] >> 5) & 7], entry.loopB = points[((data[0] >> 5) + (data[0] >> 2)) & 7];
    juce::AudioFormatManager formats; formats.registerBasicFormats(); WaveformView view (formats, processor); view.setSource (&entry);
    bool ok = expect (view.thumbnail.getTotalLength() <= entry.lengthSeconds * 1.000001 + 1.0e-6, "the thumbnail is longer than the file");
    for (const auto deadline = juce::Time::getMillisecondCounter() + 5000; ok && ! view.thumbnail.isFullyLoaded(); std::this_thread::sleep_for (std::chrono::microseconds (50)))
        ok = expect (juce::Time::getMillisecondCounter() < deadline, "the thumbnail is still reading after 5 s");
    juce::AudioBuffer<float> buffer (2, 512);
    for (int i = ! ok ? 0 : entry.lengthSeconds > 0.0f ? 282 : 1; --i >= 0;) processor.paused = false, testkit::renderBlock (processor, buffer);   // 3 s, or one more try to open
    view.setSource (nullptr);
}
/** data.xml: the take added and its points set, which read back bit for bit. */
static void dataFile (Bytes data, std::size_t size) {
    auto random = seededBy (data, size);
    float points[3];   // of every kind
    for (auto& p : points)
        p = std::array { 0.0f, random.nextFloat() * 5.0f, -random.nextFloat() * 100.0f, std::ldexp (random.nextFloat(), -random.nextInt (150)),
                         std::ldexp (random.nextFloat(), random.nextInt (128)), (float) random.nextInt (100000) / 1000.0f }[(size_t) random.nextInt (6)];
    roundTrip (ReplayProcessor::getDataFile(), withTake (data, size), [&] (int pass) {
        ReplayProcessor processor; processor.addFile (sample (false));
        auto& entry = *processor.playlist[0];
        if (expect (entry.lengthSeconds > 0.0f, "the take did not open") && pass == 0) entry.cue = points[0], entry.loopA = points[1], entry.loopB = points[2];
        const float read[] = { entry.cue, entry.loopA, entry.loopB };   // bit for bit
        return juce::String::toHexString (read, (int) sizeof (read));
    });
}
/** midi.map: a message learned (short, or a long SysEx) is stored in its row and triggers it. */
static void midiMap (Bytes data, std::size_t size) {
    auto random = seededBy (data, size);
    juce::uint8 sysex[150]; std::generate (std::begin (sysex), std::end (sysex), [&] { return (juce::uint8) random.nextInt (128); });
    const auto message = random.nextInt (4) == 0 ? juce::MidiMessage::createSysExMessage (sysex, 1 + random.nextInt (150))
                                                 : juce::MidiMessage::noteOn (1 + random.nextInt (16), random.nextInt (128), (juce::uint8) random.nextInt (128));
    roundTrip (MidiMap::getMapFile(), { data, size }, [&, row = random.nextInt (MidiMap::numMappings)] (int pass) {
        MidiMap map; juce::StringArray learned;
        if (int action = -1; pass == 0) map.learning = true, map.selectLearnTarget (row), map.handleMessage (message, action), map.learning = false;
        if (pass == 0 && expect (map.getMessage (row) == MidiMap::messageText (message), "the learned message was not stored")) triggersItsRow (map, message);
        for (int i = 0; i < MidiMap::numMappings; ++i) learned.add (map.getMessage (i));
        return learned.joinIntoString ("\n");
    });
}
/** .config: a value set reads back, and so do the tag and attributes read (text may be read differently once: the parser turns CR LF
    into LF, and keeps what follows a '&' it can't resolve as text); from then on every write is alike. */
static void configFile (Bytes data, std::size_t size) {
    auto random = seededBy (data, size);
    const juce::String key = std::array { "LastUsedPath", "LastUsedFile", "LastUsedPlaylist" }[(size_t) random.nextInt (3)]; juce::String value = "/";
    for (int i = random.nextInt (41); --i >= 0;)   // code points of every kind but surrogates
        value += juce::String::charToString ((juce::juce_wchar) std::array { 1 + random.nextInt (31), 0x80 + random.nextInt (0x80), 0x100 + random.nextInt (0xd800 - 0x100),
                                                                            0x10000 + random.nextInt (0x100000), 0x20 + random.nextInt (0x5f) }[(size_t) random.nextInt (5)]);
    roundTrip (XmlFiles::getDataFile (".config"), { data, size }, [&] (int pass) {
        auto config = std::make_unique<ConfigFile> ("Velorin");
        if (pass == 0) config->setValue (key, value);
        expect (config->getValue (key) == value, "the value set does not read back");
        const auto settings = config->settings;
        if (config.reset(), pass == 1) expect (ConfigFile ("Velorin").settings.isEquivalentTo (&settings, false), "the settings change from one write to the next");
        auto text = settings.getTagName();
        for (int i = 0; i < settings.getNumAttributes(); ++i) text << "\n" << settings.getAttributeName (i) << "=" << settings.getAttributeValue (i);
        return text;
    });
}
/** A playlist loaded by the editor (driven by hand: timerCallback shows the current entry); saved, cleared and loaded again it lists the same. */
static void playlist (Bytes data, std::size_t size) {
    const auto loaded = homeFile ("fuzz/loaded.xml"), saved = homeFile ("fuzz/saved.xml");
    ReplayProcessor processor; ReplayProcessorEditor editor (&processor);
    editor.stopTimer(), saved.deleteFile();
    roundTrip (loaded, withTake (data, size), [&] (int pass) {
        juce::StringArray paths;
        editor.loadChosen (pass == 0 ? loaded : saved), editor.timerCallback();
        for (auto* entry : processor.playlist) paths.add (entry->getFilePath());
        if (pass == 0) editor.saveChosen (saved);
        return editor.buttonClicked (editor.clearButton.get()), editor.timerCallback(), paths.joinIntoString ("\n");
    }, saved);
}
/** The input, a program (see README.md), run through processBlock; every message learned is then a message's text, and triggers its row. */
static void midiMessages (Bytes data, std::size_t size) {
    ReplayProcessor processor; processor.setRateAndBufferSizeDetails (48000.0, 512), processor.addFile (sample (false)), processor.addFile (sample (true)), processor.selectTrack (0);
    auto& map = processor.midiMap; for (int i = 0; i < MidiMap::numMappings; ++i) map.setMessage (i, {});
    juce::AudioBuffer<float> buffer (2, 512); juce::MidiBuffer midi;
    const auto next = [&] (std::size_t& i) -> std::size_t { return i < size ? data[i++] : 0; };
    for (std::size_t i = 0; i < size;) {
        const auto op = next (i);
        if (op % 4 == 0) map.learning = (op & 0x80) != 0;
        if (op % 4 == 1) map.selectLearnTarget ((int) (op >> 2) % (MidiMap::numMappings + 2) - 1);
        if (const auto length = op % 4 == 2 ? next (i) : 0, position = op % 4 == 2 ? next (i) * 2 % 512 : 0, available = juce::jmin (length, size - i); available > 0)
            midi.addEvent (data + i, (int) available, (int) position), i += available;
        if (op % 4 == 3 || i == size) testkit::renderBlock (processor, buffer, midi), midi.clear();
    }
    map.learning = false;
    for (int i = 0; i < MidiMap::numMappings; ++i) {
        juce::MemoryBlock bytes; const auto text = map.getMessage (i);
        if (bytes.loadFromHexString (text), text.isEmpty() || ! expect (bytes.getSize() > 0, "a row holds \"" + text + "\", which is no message's text")) continue;
        const juce::MidiMessage message (bytes.getData(), (int) bytes.getSize());
        if (! expect (MidiMap::messageText (message) == text, text + " is not its message's text") || ! triggersItsRow (map, message)) return;
        testkit::renderBlock (processor, buffer, juce::MidiBuffer (message));
    }
}
/** Any document: whatever the check lets through, JUCE's parser reads completely, no deeper than the limit (counted here without recursion). */
static void xmlCheck (Bytes data, std::size_t size) {
    const std::string_view text (reinterpret_cast<const char*> (data), size);
    if (! XmlFiles::isPlainXml (text)) return;
    const auto root = juce::parseXML (juce::String::fromUTF8 (text.data(), (int) size));
    if (! expect (root != nullptr, "the check passes what JUCE's parser does not read")) return;
    std::vector<std::pair<const juce::XmlElement*, int>> toVisit { { root.get(), 1 } };
    int deepest = 0;
    while (! toVisit.empty()) {
        const auto [element, level] = toVisit.back();
        toVisit.pop_back();
        deepest = std::max (deepest, level);
        for (auto* child : element->getChildIterator())
            if (! child->isTextElement()) toVisit.push_back ({ child, level + 1 });
    }
    expect (deepest <= XmlFiles::maxDepth, "the check passes " + juce::String (deepest) + " levels");
}
const Target* findTarget (const juce::String& name) {
    static const Target targets[] = { { "audio_file", audioFile, 16384 }, { "data_file", dataFile, 8192 }, { "midi_map", midiMap, 4096 },
                                       { "config_file", configFile, 4096 }, { "playlist", playlist, 8192 }, { "midi_messages", midiMessages, 2048 },
                                       { "xml_check", xmlCheck, 8192 } };
    auto* found = std::find_if (std::begin (targets), std::end (targets), [&] (auto& t) { return name == t.name; }); return found != std::end (targets) ? found : nullptr;
}
void fail (const juce::String& message) { if (onFailure) return onFailure (message); std::fprintf (stderr, "==velorin-fuzz== %s\n", message.toRawUTF8()), std::abort(); }
}
