#include "TestSupport.h"
#include "app/MainComponent.h"
#include "ui/ReplayProcessorEditor.h"

// The whole host on a real, real-time paced audio device: a JACK server with its dummy
// back end, started for the test.

class AudioDeviceTest : public TempHomeTest
{
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        jack = std::make_unique<JackServer>();
        ASSERT_TRUE (jack->ready) << "the JACK dummy server " << jack->name << " did not start";

        main = std::make_unique<MainComponent>();

        // Without a sound card the framework falls back to JACK by itself; elsewhere choose it.
        if (auto* device = main->deviceManager.getCurrentAudioDevice(); device == nullptr || device->getTypeName() != "JACK")
            main->deviceManager.setCurrentAudioDeviceType ("JACK", true);
    }

    void TearDown() override
    {
        main.reset();
        jack.reset();
        TempHomeTest::TearDown();
    }

    std::unique_ptr<JackServer> jack;
    std::unique_ptr<MainComponent> main;
};

TEST_F (AudioDeviceTest, PlaysInRealTimeAndShutsDownCleanlyWhilePlaying)
{
    auto* device = main->deviceManager.getCurrentAudioDevice();
    ASSERT_NE (device, nullptr);
    EXPECT_EQ (device->getTypeName(), "JACK");
    EXPECT_EQ (device->getCurrentSampleRate(), 48000.0);

    const auto file = audioFolder().getChildFile ("ten.wav");
    testaudio::write (file, 44100.0, 2, 441000, 16);

    auto* editor = dynamic_cast<ReplayProcessorEditor*> (main->editor.get());
    ASSERT_NE (editor, nullptr);
    editor->addFileChosen (file);
    auto& processor = *main->processor;
    auto& entry = *processor.playlist[0];

    editor->effects.buttonClicked (editor->effects.playButton.get());   // PLAY
    ASSERT_FALSE (processor.paused);

    for (int i = 0; i < 200 && processor.getEntryPositionSeconds (entry) <= 0.0f; ++i)
        juce::Thread::sleep (10);

    const auto startTime = juce::Time::getMillisecondCounterHiRes();
    const auto startPosition = processor.getEntryPositionSeconds (entry);
    ASSERT_GT (startPosition, 0.0f) << "the device never called the processor";

    juce::Thread::sleep (1500);

    const auto elapsed = (juce::Time::getMillisecondCounterHiRes() - startTime) / 1000.0;
    const auto played = (double) (processor.getEntryPositionSeconds (entry) - startPosition);
    EXPECT_NEAR (played / elapsed, 1.0, 0.15) << played << " s played in " << elapsed << " s";

    entry.cue = 0.5f;
    main.reset();   // while playing

    EXPECT_TRUE (dataFolder().getChildFile ("data.xml").loadFileAsString().contains ("cue=\"0.5\""));
}
