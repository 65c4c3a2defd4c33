#include "TestKit.h"
#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <unistd.h>
bool testkit::writeAudio (const juce::File& file, double rate, int channels, juce::int64 samples, int bits, bool music)
{
    file.getParentDirectory().createDirectory(), file.deleteFile();
    std::unique_ptr<juce::AudioFormat> format (file.hasFileExtension ("aif;aiff") ? (juce::AudioFormat*) new juce::AiffAudioFormat() : new juce::WavAudioFormat());
    std::unique_ptr<juce::AudioFormatWriter> writer (format->createWriterFor (new juce::FileOutputStream (file), rate, (unsigned int) channels, bits, {}, 0));
    juce::AudioBuffer<float> block (channels, 4096);
    bool written = writer != nullptr;
    for (juce::int64 start = 0; written && start < samples; start += 4096)
    {
        for (int c = 0; c < channels; ++c)
            for (int i = 0; i < 4096; ++i)
            {
                const auto t = (double) (start + i) / rate, phase = juce::MathConstants<double>::twoPi * std::pow (0.89, (int) (t / 1.5) % 3) * (1.0 + 0.002 * c) * t;   // falling a tone every 1.5 s
                block.setSample (c, i, music ? (float) (0.3 * std::exp (-2.0 * std::fmod (t, 1.5)) * (std::sin (220.0 * phase) + std::sin (277.2 * phase) + std::sin (329.6 * phase))) : rampValue (c, start + i));
            }
        written = writer->writeFromAudioSampleBuffer (block, 0, (int) juce::jmin ((juce::int64) 4096, samples - start));
    }
    return written;
}
bool testkit::setTags (const juce::File& file, const juce::String& title, const juce::String& artist)
{
    TagLib::FileRef ref (file.getFullPathName().toRawUTF8());
    const auto text = [] (const juce::String& s) { return TagLib::String (s.toRawUTF8(), TagLib::String::UTF8); };
    return ! ref.isNull() && (ref.tag()->setTitle (text (title)), ref.tag()->setArtist (text (artist)), ref.save());
}
bool testkit::insertChunk (const juce::File& file, const char* id, const juce::MemoryBlock& content)
{
    const bool aiff = file.hasFileExtension ("aif;aiff");
    juce::MemoryBlock bytes;
    file.loadFileAsData (bytes);
    juce::MemoryOutputStream chunk;
    chunk.write (id, 4);
    aiff ? chunk.writeIntBigEndian ((int) content.getSize()) : chunk.writeInt ((int) content.getSize());
    chunk << content;
    chunk.writeRepeatedByte (0, content.getSize() & 1);
    const auto* begin = static_cast<const char*> (bytes.getData());
    const auto* audio = aiff ? "SSND" : "data";
    bytes.insert (chunk.getData(), chunk.getDataSize(), (size_t) (std::search (begin, begin + bytes.getSize(), audio, audio + 4) - begin));
    const auto size = (juce::uint32) bytes.getSize() - 8;
    const auto sizeField = aiff ? juce::ByteOrder::swapIfLittleEndian (size) : juce::ByteOrder::swapIfBigEndian (size);
    bytes.copyFrom (&sizeField, 4, 4);
    return file.replaceWithData (bytes.getData(), bytes.getSize());
}
// JUCE 7.0.5's assertions that input from outside reaches with nothing wrong: hex keys starting with a digit, a short MIDI
// message (copied safely), thousands of channels (numbered before the file is refused), a backslash, AIFF chunk texts.
void testkit::AssertionCheck::logMessage (const juce::String& message)
{
    for (auto* place : { "XmlElement.cpp:72", "XmlElement.cpp:91", "XmlElement.cpp:103", "XmlElement.cpp:508", "MidiMessage.cpp:137",
                         "AudioChannelSet.cpp:439", "File.cpp:174", "String.cpp:2134" })
        if (message == juce::String ("JUCE Assertion failure in juce_") + place)
            return;
    std::cerr << message << std::endl;
    if (onAssertion && message.startsWith ("JUCE Assertion failure"))
        onAssertion (message);
}
testkit::JackServer::JackServer()
{
    setenv ("JACK_NO_AUDIO_RESERVATION", "1", 1);
    const auto parent = getpid();
    const auto running = [this] { juce::ChildProcess check; return check.start (juce::StringArray { "jack_wait", "-s", name, "-c" }) && check.readAllProcessOutput().startsWith ("running"); };
    // One process at a time looks for a free name: a server started under a taken name fails, but first removes the socket of the one running under it.
    const int lock = open ("/tmp/velorin-jackd.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0666);
    flock (lock, LOCK_EX);
    for (int i = 0; i < 6 && ! ready; ++i)
    {
        name = "velorin-" + juce::String (i);
        if (running() || (pid = fork()) < 0)
            continue;
        if (pid == 0)   // jackd, quiet, ending with this process
            _exit (prctl (PR_SET_PDEATHSIG, SIGTERM) == 0 && getppid() == parent && dup2 (open ("/dev/null", O_WRONLY), 1) == 1 && dup2 (1, 2) == 2
                       ? execlp ("jackd", "jackd", "--no-realtime", "-n", name.toRawUTF8(), "-d", "dummy", "-r", "48000", "-p", "256", (char*) nullptr) : 127);
        for (int tries = 0; tries < 100 && pid > 0 && ! (ready = running()); ++tries)   // pid 0: it gave up, the name taken or the registry full
            pid = waitpid (pid, nullptr, WNOHANG) == pid ? 0 : (juce::Thread::sleep (100), pid);
        if (! ready && pid > 0)
            kill (pid, SIGTERM), waitpid (pid, nullptr, 0), pid = 0;
    }
    close (lock);
    setenv ("JACK_DEFAULT_SERVER", name.toRawUTF8(), 1);
}
testkit::JackServer::~JackServer()   { if (pid > 0 && kill (pid, SIGTERM) == 0) waitpid (pid, nullptr, 0);
                                       unsetenv ("JACK_DEFAULT_SERVER"); }
