#include "TestSupport.h"

#include <thread>

// The message thread changes the playlist, selects, seeks and reads positions while
// another thread renders blocks as the audio device would. Run under ThreadSanitizer
// this proves the hand-over; in a plain build it still catches crashes and bad states.

namespace
{
    class AudioThread
    {
    public:
        explicit AudioThread (ReplayProcessor& p) : processor (p), thread ([this] { run(); }) {}

        ~AudioThread()
        {
            stop = true;
            thread.join();
        }

        int blocksRendered() const   { return blocks; }

    private:
        void run()
        {
            juce::AudioBuffer<float> buffer (2, 256);
            juce::Random random (1);
            const auto next = juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100);
            const auto previous = juce::MidiMessage::noteOn (1, 61, (juce::uint8) 100);

            while (! stop)
            {
                juce::MidiBuffer midi;

                if (random.nextInt (20) == 0)
                    midi.addEvent (random.nextBool() ? next : previous, 0);

                testaudio::renderBlock (processor, buffer, midi);
                ++blocks;
                std::this_thread::yield();
            }
        }

        ReplayProcessor& processor;
        std::atomic<bool> stop { false };
        std::atomic<int> blocks { 0 };
        std::thread thread;
    };
}

using ProcessorThreadingTest = TempHomeTest;

TEST_F (ProcessorThreadingTest, PlaylistChangesWhileBlocksAreRendered)
{
    juce::Array<juce::File> files;

    for (int i = 0; i < 4; ++i)
    {
        files.add (audioFolder().getChildFile ("f" + juce::String (i) + (i % 2 == 0 ? ".wav" : ".aif")));
        testaudio::write (files.getLast(), i % 2 == 0 ? 8000.0 : 11025.0, 1 + i % 2, 2000 + 500 * i);
    }

    ReplayProcessor processor;
    processor.setRateAndBufferSizeDetails (8000.0, 256);
    processor.delay = 0.0f;
    processor.midiMap.mappings[0].message = "90 3c 64";
    processor.midiMap.mappings[1].message = "90 3d 64";

    for (auto& f : files)
        processor.addFile (f);

    juce::Random random (42);
    int maxIndexSeen = -1;
    {
        AudioThread audio (processor);

        for (int step = 0; step < 20000; ++step)
        {
            const int size = processor.playlist.size();

            switch (random.nextInt (10))
            {
                case 0:  processor.addFile (files[random.nextInt (files.size())]); break;
                case 1:  processor.removeEntry (random.nextInt (size + 2) - 1); break;
                case 2:  if (random.nextInt (20) == 0) processor.clearPlaylist(); break;
                case 3:  processor.selectTrack (random.nextInt (size + 3) - 1); break;
                case 4:  processor.paused = random.nextInt (4) == 0; break;
                case 5:  processor.loopEnabled = ! processor.loopEnabled; break;
                default:
                    if (auto* entry = processor.playlist[random.nextInt (juce::jmax (1, size))])
                    {
                        processor.moveEntryTo (*entry, random.nextFloat() * 0.6f);
                        EXPECT_GE (processor.getEntryPositionSeconds (*entry), 0.0f);
                        entry->loopA = random.nextFloat() * 0.2f;
                        entry->loopB = random.nextFloat() * 0.4f;
                    }
                    break;
            }

            maxIndexSeen = juce::jmax (maxIndexSeen, processor.getCurrentIndex());

            // Only the current entry ever holds a source.
            {
                const juce::ScopedLock sl (processor.getCallbackLock());

                for (int i = 0; i < processor.playlist.size(); ++i)
                {
                    if (i == processor.currentIndex)
                        continue;

                    ASSERT_EQ (processor.playlist[i]->source, nullptr) << "entry " << i << " at step " << step;
                }
            }

            if (step % 500 == 0)
                std::this_thread::sleep_for (std::chrono::milliseconds (1));
        }

        EXPECT_GT (audio.blocksRendered(), 100);
    }

    EXPECT_GE (maxIndexSeen, 0);

    // Whatever happened, every entry's points still reach the data file.
    processor.clearPlaylist();
    processor.addFile (files[0]);
    processor.playlist[0]->cue = 0.125f;
    processor.clearPlaylist();
    processor.addFile (files[0]);
    EXPECT_EQ (processor.playlist[0]->cue, 0.125f);
}
