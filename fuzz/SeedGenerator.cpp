// velorin_fuzz_seeds <folder>: writes valid starting inputs for every fuzz target into
// <folder>/<target>/: real WAV and AIFF files (written by JUCE, tagged by TagLib), data
// files in the program's own format, and a few MIDI event programs.

#include "fuzz/FuzzTargets.h"
#include "engine/XmlFiles.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <taglib/fileref.h>
#include <taglib/tag.h>

#include <iostream>

namespace
{
    juce::File root;
    int written = 0;

    void save (const juce::String& target, const juce::String& name, const void* data, size_t size)
    {
        const auto* info = fuzzing::findTarget (target);
        jassert (info != nullptr);

        if (size > info->maxLength)
        {
            std::cerr << "seed " << target << "/" << name << " is longer than the target reads" << std::endl;
            std::exit (1);
        }

        const auto file = root.getChildFile (target).getChildFile (name);
        file.getParentDirectory().createDirectory();

        if (! file.replaceWithData (data, size) && size > 0)
        {
            std::cerr << "cannot write " << file.getFullPathName() << std::endl;
            std::exit (1);
        }

        ++written;
    }

    void save (const juce::String& target, const juce::String& name, const juce::String& text)
    {
        save (target, name, text.toRawUTF8(), text.getNumBytesAsUTF8());
    }

    void save (const juce::String& target, const juce::String& name, const juce::MemoryBlock& block)
    {
        save (target, name, block.getData(), block.getSize());
    }

    /** An element as the program writes it (declaration, blank line, CRLF, wrapped at 60),
        with placeholders in tag names swapped for text no tag could hold at creation. */
    juce::String document (const juce::XmlElement& element, const juce::StringPairArray& swaps = {})
    {
        juce::MemoryOutputStream out;
        juce::XmlElement::TextFormat format;
        format.customEncoding = "UTF-8";
        format.lineWrapLength = 60;
        element.writeTo (out, format);

        auto text = out.toString();

        for (auto& key : swaps.getAllKeys())
            text = text.replace (key, swaps[key]);

        return text;
    }

    //==============================================================================
    void audioSeeds()
    {
        struct AudioSeed
        {
            const char* name;
            std::uint8_t options;   // bit 0: AIFF; bit 1: loop on; bits 2-4 cue; 5-7 loop points
            double rate;
            int channels;
            int bits;
            int frames;
            const char* title;
            const char* artist;
        };

        const AudioSeed seeds[] = {
            { "wav16-stereo-44k-tagged", 0x00, 44100.0, 2, 16, 800, "Etude No. 3", "Dravik Trio" },
            { "wav8-mono-8k-loop",       0x2a, 8000.0,  1, 8,  900, nullptr, nullptr },
            { "wav24-stereo-48k",        0x24, 48000.0, 2, 24, 700, nullptr, nullptr },
            { "wav32-mono-96k-tagged",   0x06, 96000.0, 1, 32, 600, "Caf\xc3\xa9 \xe2\x99\xab", "\xc3\x85sa" },
            { "wav16-6ch-22k",           0x00, 22050.0, 6, 16, 300, nullptr, nullptr },
            { "aif16-mono-22k-tagged",   0x01, 22050.0, 1, 16, 900, "Scale", "Student" },
            { "aif24-stereo-44k-loop",   0x43, 44100.0, 2, 24, 600, nullptr, nullptr },
            { "aif8-mono-11k",           0x05, 11025.0, 1, 8,  1000, nullptr, nullptr },
            { "aif16-stereo-48k-tagged", 0xe1, 48000.0, 2, 16, 500, "Long take", "" },
        };

        const auto temp = juce::File::createTempFile ("velorin-seed");
        temp.createDirectory();

        for (auto& seed : seeds)
        {
            const auto file = temp.getChildFile (juce::String (seed.name) + ((seed.options & 1) != 0 ? ".aif" : ".wav"));

            if (! fuzzing::writeTone (file, seed.rate, seed.channels, seed.frames, seed.bits))
            {
                std::cerr << "cannot write " << seed.name << std::endl;
                std::exit (1);
            }

            if (seed.title != nullptr)
            {
                TagLib::FileRef ref (file.getFullPathName().toRawUTF8());

                if (ref.isNull() || ref.tag() == nullptr)
                {
                    std::cerr << "TagLib cannot open " << seed.name << std::endl;
                    std::exit (1);
                }

                ref.tag()->setTitle (TagLib::String (seed.title, TagLib::String::UTF8));
                ref.tag()->setArtist (TagLib::String (seed.artist, TagLib::String::UTF8));
                ref.save();
            }

            juce::MemoryBlock bytes;
            bytes.append (&seed.options, 1);
            juce::MemoryBlock content;
            file.loadFileAsData (content);
            bytes.append (content.getData(), content.getSize());
            save ("audio_file", seed.name, bytes);
        }

        const std::uint8_t empty[] = { 0x00 };
        save ("audio_file", "empty-wav", empty, 1);
        temp.deleteRecursively();
    }

    //==============================================================================
    // Data files. In data.xml, "@key@" and "@path@" stand for the key and path of the file
    // the target adds (see fuzzing::fuzzDataFile).

    void dataSeeds()
    {
        const juce::StringPairArray swaps ([] {
            juce::StringPairArray s;
            s.set ("TAKEKEY", "@key@");
            s.set ("TAKEPATH", "@path@");
            return s;
        }());

        {
            juce::XmlElement data ("data");
            auto* take = data.createNewChildElement ("TAKEKEY");
            take->setAttribute ("name", "TAKEPATH");
            take->setAttribute ("cue", "1.5");
            take->setAttribute ("p1", "0.25");
            take->setAttribute ("p2", "2");
            save ("data_file", "take", document (data, swaps));
        }

        {
            juce::XmlElement data ("data");
            auto* other = data.createNewChildElement ("e3b0c44298fc1c149afbf4c8996fb924");
            other->setAttribute ("name", "/home/someone/Music/other.wav");
            other->setAttribute ("cue", "0.30000001192092895508");
            other->setAttribute ("p1", "0");
            other->setAttribute ("p2", "12.5");

            // Another path sharing the key comes first; then the take's own element.
            auto* sharing = data.createNewChildElement ("TAKEKEY");
            sharing->setAttribute ("name", juce::String::fromUTF8 ("/home/someone/Musik/\xc3\xa9tude.wav"));
            sharing->setAttribute ("cue", "7");
            auto* take = data.createNewChildElement ("TAKEKEY");
            take->setAttribute ("name", "TAKEPATH");
            take->setAttribute ("cue", "1.0000000000000000208e-30");
            take->setAttribute ("p1", "-3");
            take->setAttribute ("p2", "3.4028234663852885981e+38");

            auto* unnamed = data.createNewChildElement ("a3b0c44298fc1c149afbf4c8996fb924");
            unnamed->setAttribute ("cue", "2");
            save ("data_file", "shared-key", document (data, swaps));
        }

        {
            juce::XmlElement data ("data");
            auto* take = data.createNewChildElement ("TAKEKEY");
            take->setAttribute ("cue", "nan");
            take->setAttribute ("p1", "1e999");
            take->setAttribute ("p2", "abc");
            save ("data_file", "damaged-values", document (data, swaps));
        }

        save ("data_file", "malformed", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<data>\r\n  <@key@ name=\"@path@\" cue=\"1\"\r\n");
        save ("data_file", "other-root", "<?xml version=\"1.0\"?>\n<!-- note -->\n<config a=\"1\"><![CDATA[x]]><@key@ name=\"@path@\" p2=\"&#51;\"/></config>\n");
    }

    void midiMapSeeds()
    {
        {
            juce::XmlElement map ("midimap");
            map.setAttribute ("midi-0", "90 3c 7f");
            map.setAttribute ("midi-1", "b0 40 00");
            map.setAttribute ("midi-2", "f0 7e 7f 06 01 f7");
            map.setAttribute ("midi-3", "c0 05");
            save ("midi_map", "learned", document (map));
        }

        {
            juce::XmlElement map ("midimap");
            map.setAttribute ("midi-0", "");
            map.setAttribute ("midi-1", "90 3c 7f");
            map.setAttribute ("midi-2", "");
            map.setAttribute ("midi-3", "90 3c 7f");
            save ("midi_map", "partial", document (map));
        }

        {
            juce::String sysex ("f0");

            for (int i = 0; i < 80; ++i)
                sysex << " " << juce::String::toHexString (i);

            sysex << " f7";
            juce::XmlElement map ("midimap");
            map.setAttribute ("midi-2", sysex);
            map.setAttribute ("midi-3", "a & b < \"c\"\r\n\t");
            save ("midi_map", "long-sysex", document (map));
        }

        save ("midi_map", "malformed", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<midimap midi-0=\"90 3c 7f");
    }

    void configSeeds()
    {
        {
            juce::XmlElement config ("config");
            config.setAttribute ("LastUsedPath", "/home/someone/Music");
            config.setAttribute ("LastUsedFile", "/home/someone/Music/Takes");
            config.setAttribute ("LastUsedPlaylist", "/home/someone/Playlists");
            save ("config_file", "typical", document (config));
        }

        {
            juce::XmlElement config ("config");
            config.setAttribute ("Theme", "dark");
            config.setAttribute ("LastUsedPath", juce::String::fromUTF8 ("/home/someone/M\xc3\xbasica/\xe2\x99\xab"));
            auto* child = config.createNewChildElement ("window");
            child->setAttribute ("x", 10);
            child->addTextElement ("note & <text>");
            config.createNewChildElement ("recent")->createNewChildElement ("item")->setAttribute ("path", "/tmp/a b");
            save ("config_file", "unknown-parts", document (config));
        }

        save ("config_file", "malformed", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<config LastUsedPath=\"/x\"");
    }

    // Playlists: "@path@" stands for the path of the real file the target provides.

    void playlistSeeds()
    {
        {
            juce::XmlElement list ("playlist");

            for (auto* path : { "@path@", "/nonexistent/folder/one.wav", "@path@", "/nonexistent/two.aif",
                                "relative/three.wav", "~/audio/take.wav", "/nonexistent/four.mp3",
                                "/nonexistent/five.AIFF", "/nonexistent/six.bwf", "/tmp/../nonexistent/./seven.wav" })
                list.createNewChildElement ("file")->setAttribute ("name", path);

            list.createNewChildElement ("folder")->setAttribute ("name", "/nonexistent");
            save ("playlist", "mixed", document (list));
        }

        {
            juce::XmlElement list ("playlist");
            list.createNewChildElement ("file")->setAttribute ("name", "@path@");
            save ("playlist", "one", document (list));
        }

        save ("playlist", "empty-list", document (juce::XmlElement ("playlist")));
        save ("playlist", "other-root", "<?xml version=\"1.0\"?>\n<data><file name=\"@path@\"/></data>\n");
        save ("playlist", "malformed", "<playlist>\r\n  <file name=\"@path@\"/>\r\n  <file name=\"/x.wav");
    }

    //==============================================================================
    /** Programs for the MIDI target: 0x80/0x00 learning on/off, ((t + 1) << 2) | 1 learn
        target t, 0x02 len pos bytes... an event, 0x03 a block. */
    struct MidiProgram
    {
        MidiProgram& learning (bool on)              { bytes.add (on ? 0x80 : 0x00); return *this; }
        MidiProgram& target (int t)                  { bytes.add ((std::uint8_t) (((t + 1) << 2) | 1)); return *this; }
        MidiProgram& block()                         { bytes.add (0x03); return *this; }

        MidiProgram& event (std::initializer_list<int> message, int position = 0)
        {
            bytes.add (0x02);
            bytes.add ((std::uint8_t) message.size());
            bytes.add ((std::uint8_t) (position / 2));

            for (auto b : message)
                bytes.add ((std::uint8_t) b);

            return *this;
        }

        juce::Array<std::uint8_t> bytes;
    };

    void midiSeeds()
    {
        {
            MidiProgram p;
            p.learning (true).target (2).event ({ 0x90, 0x3c, 0x7f }).block().learning (false).block()
             .event ({ 0x90, 0x3c, 0x7f }, 100).block().block().block();
            save ("midi_messages", "learn-play", p.bytes.getRawDataPointer(), (size_t) p.bytes.size());
        }

        {
            MidiProgram p;
            p.learning (true);
            const int messages[][3] = { { 0xb0, 0x10, 0x7f }, { 0xb0, 0x11, 0x7f }, { 0xc0, 0x05, -1 }, { 0x80, 0x3c, 0x00 } };

            for (int t = 0; t < 4; ++t)
            {
                p.target (t);

                if (messages[t][2] < 0)
                    p.event ({ messages[t][0], messages[t][1] });
                else
                    p.event ({ messages[t][0], messages[t][1], messages[t][2] });

                p.block();
            }

            p.learning (false).event ({ 0xb0, 0x10, 0x7f }).event ({ 0xc0, 0x05 }, 300).block().event ({ 0x80, 0x3c, 0x00 }).block()
             .event ({ 0xb0, 0x11, 0x7f }).block();
            save ("midi_messages", "learn-all", p.bytes.getRawDataPointer(), (size_t) p.bytes.size());
        }

        {
            MidiProgram p;
            p.learning (true).target (0);
            std::vector<int> sysex { 0xf0 };

            for (int i = 0; i < 90; ++i)
                sysex.push_back (i);

            sysex.push_back (0xf7);
            p.bytes.add (0x02);
            p.bytes.add ((std::uint8_t) sysex.size());
            p.bytes.add (0);

            for (auto b : sysex)
                p.bytes.add ((std::uint8_t) b);

            p.block().learning (false).block();
            p.bytes.add (0x02);
            p.bytes.add ((std::uint8_t) sysex.size());
            p.bytes.add (10);

            for (auto b : sysex)
                p.bytes.add ((std::uint8_t) b);

            p.block();
            save ("midi_messages", "long-sysex", p.bytes.getRawDataPointer(), (size_t) p.bytes.size());
        }

        {
            MidiProgram p;
            p.learning (true).target (3).event ({ 0xff, 0x2f, 0x00 }).target (1).event ({ 0xf8 }).event ({ 0xe0, 0x00, 0x40 })
             .block().learning (false).event ({ 0xf8 }).event ({ 0xff, 0x2f, 0x00 }).block().target (4).target (-1).block();
            save ("midi_messages", "realtime-and-meta", p.bytes.getRawDataPointer(), (size_t) p.bytes.size());
        }
    }
}

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::cerr << "usage: velorin_fuzz_seeds <folder>" << std::endl;
        return 2;
    }

    // A JUCE assertion here means a seed is not what the program would write: stop.
    const fuzzing::ScopedAssertionCheck assertions;
    root = juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]);

    if (! root.createDirectory())
    {
        std::cerr << "cannot create " << root.getFullPathName() << std::endl;
        return 1;
    }

    audioSeeds();
    dataSeeds();
    midiMapSeeds();
    configSeeds();
    playlistSeeds();
    midiSeeds();

    std::cout << "velorin_fuzz_seeds: " << written << " seeds in " << root.getFullPathName() << std::endl;
    return 0;
}
