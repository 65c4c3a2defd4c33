#include "TestKit.h"
#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <unistd.h>

using namespace juce;

static float note (double seconds)
{
    const auto level = 0.5 * std::exp (-2.0 * std::fmod (seconds, 1.5));
    return (float) (level * std::sin (MathConstants<double>::twoPi * 220.0 * seconds));
}

bool testkit::writeAudio (const File& file, double rate, int channels, int64 samples, int bits, bool music)
{
    file.getParentDirectory().createDirectory();
    file.deleteFile();
    WavAudioFormat wav;
    AiffAudioFormat aiff;
    auto& format = file.hasFileExtension ("aif;aiff") ? (AudioFormat&) aiff : wav;
    std::unique_ptr<AudioFormatWriter> writer (
        format.createWriterFor (new FileOutputStream (file), rate, (unsigned int) channels, bits, {}, 0));
    AudioBuffer<float> block (channels, 4096);
    bool written = writer != nullptr;

    for (int64 start = 0; written && start < samples; start += 4096)
    {
        for (int c = 0; c < channels; ++c)
            for (int i = 0; i < 4096; ++i)
                block.setSample (c, i, music ? note ((double) (start + i) / rate) : rampValue (c, start + i));

        written = writer->writeFromAudioSampleBuffer (block, 0, (int) jmin<int64> (4096, samples - start));
    }

    return written;
}

bool testkit::setTags (const File& file, const String& title, const String& artist)
{
    TagLib::FileRef ref (file.getFullPathName().toRawUTF8());

    if (ref.isNull())
        return false;

    ref.tag()->setTitle (TagLib::String (title.toRawUTF8(), TagLib::String::UTF8));
    ref.tag()->setArtist (TagLib::String (artist.toRawUTF8(), TagLib::String::UTF8));
    return ref.save();
}

bool testkit::insertChunk (const File& file, const char* id, const MemoryBlock& content)
{
    const bool aiff = file.hasFileExtension ("aif;aiff");
    MemoryBlock bytes;
    file.loadFileAsData (bytes);

    MemoryOutputStream chunk;
    chunk.write (id, 4);

    if (aiff)
        chunk.writeIntBigEndian ((int) content.getSize());
    else
        chunk.writeInt ((int) content.getSize());

    chunk << content;
    chunk.writeRepeatedByte (0, content.getSize() & 1);

    const auto* begin = static_cast<const char*> (bytes.getData());
    const auto* audio = aiff ? "SSND" : "data";
    const auto audioStart = std::search (begin, begin + bytes.getSize(), audio, audio + 4) - begin;
    bytes.insert (chunk.getData(), chunk.getDataSize(), (size_t) audioStart);

    const auto size = (uint32) bytes.getSize() - 8;
    const auto sizeField = aiff ? ByteOrder::swapIfLittleEndian (size) : ByteOrder::swapIfBigEndian (size);
    bytes.copyFrom (&sizeField, 4, 4);
    return file.replaceWithData (bytes.getData(), bytes.getSize());
}

// JUCE 7.0.5's assertions that input from outside reaches with nothing wrong: hex keys starting with a digit, a short
// MIDI message (copied safely), thousands of channels (numbered before the file is refused), a backslash, AIFF chunk
// texts.
void testkit::AssertionCheck::logMessage (const String& message)
{
    for (auto* place : { "XmlElement.cpp:72", "XmlElement.cpp:91", "XmlElement.cpp:103", "XmlElement.cpp:508",
                         "MidiMessage.cpp:137", "AudioChannelSet.cpp:439", "File.cpp:174", "String.cpp:2134" })
        if (message == String ("JUCE Assertion failure in juce_") + place)
            return;

    std::cerr << message << std::endl;

    if (onAssertion && message.startsWith ("JUCE Assertion failure"))
        onAssertion (message);
}

static bool isRunning (const String& server)
{
    ChildProcess check;
    return check.start (StringArray { "jack_wait", "-s", server, "-c" })
        && check.readAllProcessOutput().startsWith ("running");
}

// One process at a time looks for a free name: a server started under a taken name fails, but first removes the
// socket of the one running under it.
testkit::JackServer::JackServer()
{
    setenv ("JACK_NO_AUDIO_RESERVATION", "1", 1);
    const auto parent = getpid();
    const int lock = open ("/tmp/velorin-jackd.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0666);
    flock (lock, LOCK_EX);

    for (int i = 0; i < 6 && ! ready; ++i)
    {
        name = "velorin-" + String (i);

        if (isRunning (name))
            continue;

        const auto* server = name.toRawUTF8();
        pid = fork();

        if (pid == 0)   // jackd, quiet, ending with this process
        {
            const int quiet = open ("/dev/null", O_WRONLY);
            dup2 (quiet, 1);
            dup2 (quiet, 2);

            if (prctl (PR_SET_PDEATHSIG, SIGTERM) == 0 && getppid() == parent)
                execlp ("jackd", "jackd", "--no-realtime", "-n", server, "-d", "dummy", "-r", "48000", "-p", "256",
                        (char*) nullptr);

            _exit (127);
        }

        for (int tries = 0; tries < 100 && pid > 0 && ! ready; ++tries)
        {
            Thread::sleep (100);
            ready = isRunning (name);

            if (! ready && waitpid (pid, nullptr, WNOHANG) == pid)   // it gave up: the name taken, or the registry full
                pid = 0;
        }

        if (! ready)
            stop();
    }

    close (lock);
    setenv ("JACK_DEFAULT_SERVER", name.toRawUTF8(), 1);
}

void testkit::JackServer::stop()
{
    if (pid > 0 && kill (pid, SIGTERM) == 0)
        waitpid (pid, nullptr, 0);

    pid = 0;
}
