#include "FuzzTargets.h"
#include "TestKit.h"
#include "engine/XmlFiles.h"
#include "ui/ConfigFile.h"
#include <juce_cryptography/juce_cryptography.h>

namespace
{
    void expect (bool condition, const juce::String& what)
    {
        if (! condition)
            fuzzing::fail (what);
    }

    /** A real audio file in the home folder, written once. */
    juce::File take()
    {
        const auto file = juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile ("take.wav");

        if (! file.existsAsFile())
            testkit::writeAudio (file, 8000.0, 2, 8000, 16);

        return file;
    }

    /** The input, when it is UTF-8, with "@key@", "@KEY@" and "@path@" standing for the data key and the path of the
        take. */
    juce::MemoryBlock withTake (const juce::MemoryBlock& input)
    {
        if (! XmlFiles::isValidUtf8 ({ input.begin(), input.getSize() }))
            return input;

        const auto path = take().getFullPathName();
        const auto key = juce::MD5 (path.toUTF8()).toHexString();
        const auto withKey = input.toString().replace ("@key@", key).replace ("@KEY@", key.toUpperCase());
        const auto text = withKey.replace ("@path@", path);
        return { text.toRawUTF8(), text.getNumBytesAsUTF8() };
    }

    /** The program on its files: it loads playlist.xml, adds the take after the files listed, plays a little and
        then gets the MIDI events. Its state: the take's points, the learned rows, whether it is paused (the events
        learned into row 2 play and pause), the files listed and the config's attributes. With `changes` it first saves
        the playlist, sets the take's points to values of every kind, learns the first event into row 2 and sets a
        value with text of every kind. It writes the data files at its end. */
    juce::String programState (juce::Random* changes, const juce::MidiBuffer& midi)
    {
        const auto playlist = XmlFiles::getDataFile ("playlist.xml");
        ReplayProcessor processor;
        ConfigFile config ("Velorin");
        juce::AudioBuffer<float> block (2, 512);
        auto& map = processor.midiMap;
        processor.loadPlaylist (playlist);

        if (changes != nullptr)
            processor.savePlaylist (playlist);

        processor.addFile (take());
        auto& entry = *processor.playlist.getLast();

        if (changes != nullptr)
        {
            entry.cue = std::ldexp (changes->nextFloat(), changes->nextInt (270) - 150);
            entry.loopA = -changes->nextFloat();
            entry.loopB = changes->nextFloat() * 1000.0f;
            config.setValue ("LastUsedPlaylist",
                             juce::String::fromUTF8 ("/\x01\t\r\n&amp;<>\"'\xc3\xbc\xf0\x9d\x84\x9e"));
        }

        processor.setRateAndBufferSizeDetails (48000.0, 512);
        processor.paused = false;
        processor.loopEnabled = true;
        map.learning = changes != nullptr;
        map.selectLearnTarget (2);
        testkit::renderBlock (processor, block, changes != nullptr ? midi : juce::MidiBuffer());
        map.learning = false;

        for (int i = 0; i < 20; ++i)
            testkit::renderBlock (processor, block);

        testkit::renderBlock (processor, block, midi);
        auto state = XmlFiles::formatNumber (entry.cue) + " " + XmlFiles::formatNumber (entry.loopA) + " "
                   + XmlFiles::formatNumber (entry.loopB);
        juce::XmlElement attributes (config.settings);
        attributes.deleteAllChildElements();   // their text may read otherwise once: the parser turns CR LF into LF

        for (int row = 0; row < MidiMap::numMappings; ++row)
            state << "\n" << map.getMessage (row);

        state << "\npaused " << (int) processor.paused;

        for (auto* listed : processor.playlist)
            state << "\n" << listed->getFilePath();

        return state + "\n" + attributes.toString();
    }

    /** The program run on its files, `name` holding the input, changes what it read and writes it; run again, it
        reads the same. A .bak left beside the file holds the input exactly. */
    void roundTrip (const juce::String& name, const juce::MemoryBlock& input, const juce::MidiBuffer& midi)
    {
        const auto file = XmlFiles::getDataFile (name);
        juce::Random changes ((juce::int64) input.getSize());
        juce::MemoryBlock backup;
        XmlFiles::getDataFolder().deleteRecursively();
        XmlFiles::getDataFolder().createDirectory();
        file.replaceWithData (input.getData(), input.getSize());

        const auto written = programState (&changes, midi);
        const auto readBack = programState (nullptr, midi);
        expect (readBack == written, "what was written reads back otherwise:\n" + written + "\n---\n" + readBack);

        if (file.getSiblingFile (name + ".bak").loadFileAsData (backup))
            expect (backup == input, "the .bak does not hold the unreadable file");
    }

    /** A file of the program holding the input (README.md); a message of channel 16 is learned. */
    fuzzing::Target storedFile (const char* name)
    {
        return [name] (const juce::MemoryBlock& input)
        { roundTrip (name, withTake (input), juce::MidiBuffer (juce::MidiMessage::noteOn (16, 60, 1.0f))); };
    }

    /** An audio file after an options byte (bit 0: AIFF instead of WAV): the checked reader claims no more audio than
        the file holds, and the program plays the file from a playlist. */
    void audioFile (const juce::MemoryBlock& input)
    {
        if (input.isEmpty())
            return;

        const auto file = take().getSiblingFile (input[0] % 2 == 0 ? "input.wav" : "input.aif");
        const auto playlist = "<playlist><file name=\"" + file.getFullPathName() + "\"/></playlist>";
        juce::AudioFormatManager formats;
        formats.registerBasicFormats();
        file.replaceWithData (input.begin() + 1, input.getSize() - 1);

        if (auto reader = PlaylistEntry::createCheckedReader (formats, file))
        {
            const auto bytes = reader->lengthInSamples * reader->numChannels * reader->bitsPerSample / 8;
            expect (bytes <= file.getSize(), "the reader claims " + juce::String (bytes) + " bytes of audio");
        }

        roundTrip ("playlist.xml", { playlist.toRawUTF8(), playlist.getNumBytesAsUTF8() }, {});
    }

    /** MIDI input: a message starting at every byte, learned (the first) and played. */
    void midiMessages (const juce::MemoryBlock& input)
    {
        juce::MidiBuffer midi;

        for (int i = 0; i < (int) input.getSize(); ++i)
            midi.addEvent (input.begin() + i, (int) input.getSize() - i, 0);

        roundTrip ("midi.map", {}, midi);
    }

    int depthOf (const juce::XmlElement& element)
    {
        int deepest = 0;

        for (auto* child : element.getChildIterator())
            if (! child->isTextElement())
                deepest = std::max (deepest, depthOf (*child));

        return deepest + 1;
    }

    /** Any document: whatever the check lets through, JUCE's parser reads, no deeper than the limit. */
    void xmlCheck (const juce::MemoryBlock& input)
    {
        if (! XmlFiles::isPlainXml ({ input.begin(), input.getSize() }))
            return;

        const auto root = juce::parseXML (input.toString());

        if (root == nullptr)
            fuzzing::fail ("the check passes what JUCE's parser does not read");
        else
            expect (depthOf (*root) <= XmlFiles::maxDepth, "the check passes too deep a document");
    }
}

namespace fuzzing
{
    const std::map<std::string, Target>& targets()
    {
        static const std::map<std::string, Target> all { { "audio_file", audioFile },
                                                         { "data_file", storedFile ("data.xml") },
                                                         { "midi_map", storedFile ("midi.map") },
                                                         { "config_file", storedFile (".config") },
                                                         { "playlist", storedFile ("playlist.xml") },
                                                         { "midi_messages", midiMessages },
                                                         { "xml_check", xmlCheck } };
        return all;
    }

    void fail (const juce::String& message)
    {
        if (onFailure)
            return onFailure (message);

        std::fprintf (stderr, "==velorin-fuzz== %s\n", message.toRawUTF8());
        std::abort();
    }
}
