#include "VelorinTest.h"
#include "app/AudioSetupPage.h"
#include "app/MainComponent.h"
#include "ui/ReplayProcessorEditor.h"
#include <sys/stat.h>
#include <unistd.h>
#include <fstream>
#include <thread>

using namespace juce;

// What the user is told and shown: the messages of what failed, the read-out after DELETE and CLEAR, presses
// never lost to the audio thread, and the Audio Setup page of a device that can't capture or play.

/** Records what the editor tells the user, this HOME as "~". */
static void recordTold (VelorinTest& test, ReplayProcessorEditor& editor)
{
    editor.tellUser = [&test] (const String& title, const String& message)
    { test.note (title, message.replace (test.home.getFullPathName(), "~").replace ("\n", " | ")); };
}

struct UserSeesTest : VelorinTest
{
    UserSeesTest() { recordTold (*this, editor); }

    ReplayProcessor processor;
    ReplayProcessorEditor editor { &processor };
};

TEST_F (UserSeesTest, FailedSaveLoadAddAndPathTellWhichFileAndWhy)
{
    home.getChildFile ("list.xml").createDirectory();
    home.getChildFile ("garbage.xml").replaceWithText ("not xml <<");
    home.getChildFile ("other.xml").replaceWithText ("<other/>");
    home.getChildFile ("partly.xml").replaceWithText (R"(<playlist>
    <file name="/x/1.wav"/> <file name="relative/a.wav"/> <file name="~/b.wav"/> <file name="file:///x/c.wav"/>
    <file name="/x/2.wav"/> <file name=" /x/d.wav"/> <file name="C:\Music\e.wav"/> <file name="./f.wav"/>
</playlist>)");
    home.getChildFile ("broken.wav").replaceWithText ("RIFF, but no audio");
    const auto raw = audio.getFullPathName().toStdString() + "/";
    audio.getChildFile ("locked").createDirectory();
    chmod ((raw + "locked").c_str(), 0);
    const char* notUtf8[] = { "Caf\xe9.wav", "\xe9t\xe9.wav", "\xe9t\xe9.txt" };

    for (auto name : notUtf8)
        std::ofstream (raw + name);   // an empty file of that name

    note ("what SAVE, LOAD, +FILE and +PATH tell when they fail");
    editor.saveChosen (home.getChildFile ("list.xml"));        // over a folder
    editor.saveChosen (home.getChildFile ("gone/list.xml"));   // into a folder that isn't there
    for (auto name : { "missing.xml", "garbage.xml", "other.xml", "partly.xml" })
        editor.loadChosen (home.getChildFile (name));
    for (auto name : { "song.mp3", "broken.wav" })
        editor.addFileChosen (home.getChildFile (name));
    editor.addFileChosen (audioFile ("fine.aiff"));   // nothing told

    seteuid (65534);   // root reads any folder: the scan then runs as someone who can't (the record shows it)
    editor.addPathChosen (audio);
    const bool restored = seteuid (getuid()) == 0;
    ASSERT_TRUE (restored);
    processor.folderScanLimitSeconds = -1.0;
    editor.addPathChosen (audio);   // a listing cut short names its folder

    for (auto name : notUtf8)
        unlink ((raw + name).c_str());   // JUCE can't remove what it can't name

    note ("entries", String (processor.playlist.size()));   // /x/1.wav, /x/2.wav, broken.wav, fine.aiff twice
}

TEST_F (UserSeesTest, AfterDeleteOrClearTheReadOutShowsTheNewCurrentEntryOrNoTimes)
{
    editor.addFileChosen (audioFile ("a.wav"));
    editor.addFileChosen (audioFile ("b.wav", 8000.0, 1, 2.0));
    editor.addFileChosen (audioFile ("c.wav"));
    auto* deleteButton = editor.deleteButton.get();

    for (auto [row, button] : { std::pair (0, deleteButton), { 1, deleteButton }, { 0, editor.clearButton.get() } })
    {
        processor.selectTrack (row);
        editor.timerCallback();
        editor.buttonClicked (button);   // on the row the tick selected
        editor.timerCallback();
        note (button->getButtonText() + " row " + String (row),
              editor.effects.playInfoLabel->getText().replace ("\n", ", "));
    }
}

TEST_F (UserSeesTest, PressesAndTrackStepsAreNeverLostToTheAudioThread)
{
    for (auto name : { "0.wav", "1.wav", "2.wav", "3.wav" })
        processor.addFile (audio.getChildFile (name));   // none there: nothing plays, but none is missed
    processor.selectTrack (1);
    const bool paused = processor.paused;
    for (int action = 0; action < 4; ++action)
        processor.midiMap.setMessage (action, MidiMap::messageText (MidiMessage::noteOn (1, 60 + action, 1.0f)));

    // Each block goes to the next entry or (odd ones) back, and flips PLAY and LOOP twice; each round of
    // presses does the same. Checked between rounds, under the lock.
    std::atomic<int> blocks { 0 };
    std::thread device (
        [&]
        {
            AudioBuffer<float> buffer (2, 16);
            while (blocks < 20000)
            {
                MidiBuffer midi;
                for (auto action : { blocks % 2, 2, 3, 2, 3 })
                    midi.addEvent (MidiMessage::noteOn (1, 60 + action, 1.0f), 0);
                const ScopedLock sl (processor.getCallbackLock());
                processor.processBlock (buffer, midi);
                ++blocks;
            }
        });
    auto& panel = editor.effects;
    Button* const round[] { panel.nextButton.get(), panel.playButton.get(), panel.repeatButton.get(),
                            panel.prevButton.get(), panel.playButton.get(), panel.repeatButton.get() };
    int misses = 0;
    while (blocks < 20000)
    {
        for (auto* button : round)
            panel.buttonClicked (button);
        const ScopedLock sl (processor.getCallbackLock());
        const bool kept = processor.currentIndex == 1 + blocks % 2 && processor.paused == paused
                       && ! processor.loopEnabled;
        misses += kept ? 0 : 1;
    }
    device.join();
    EXPECT_EQ (misses, 0);
}

/** A stereo device and its type: it won't open with any input, or (failsAlways) at all, and never runs. */
struct FailingDevice : AudioIODevice,
                       AudioIODeviceType
{
    explicit FailingDevice (bool always)
        : AudioIODevice ("Fake", "Fake"),
          AudioIODeviceType ("Fake"),
          failsAlways (always)
    {
    }

    String open (const BigInteger& ins, const BigInteger&, double, int) override
    {
        return failsAlways || ! ins.isZero() ? "capture refused at this rate" : "";
    }

    BigInteger getActiveOutputChannels() const override { return {}; }
    BigInteger getActiveInputChannels() const override { return {}; }
    bool isOpen() override { return true; }
    StringArray getOutputChannelNames() override { return { "L", "R" }; }
    StringArray getInputChannelNames() override { return { "L", "R" }; }
    String getLastError() override { return {}; }
    Array<double> getAvailableSampleRates() override { return { 48000.0 }; }
    double getCurrentSampleRate() override { return 48000.0; }
    Array<int> getAvailableBufferSizes() override { return { 256 }; }
    int getDefaultBufferSize() override { return 256; }
    int getCurrentBufferSizeSamples() override { return 256; }
    int getCurrentBitDepth() override { return 16; }
    bool isPlaying() override { return false; }
    void close() override {}
    void start (AudioIODeviceCallback*) override {}
    void stop() override {}
    int getOutputLatencyInSamples() override { return 0; }
    int getInputLatencyInSamples() override { return 0; }

    AudioIODevice* createDevice (const String&, const String&) override { return new FailingDevice (failsAlways); }
    void scanForDevices() override {}
    StringArray getDeviceNames (bool) const override { return { "Fake" }; }
    bool hasSeparateInputsAndOutputs() const override { return false; }
    int getDefaultDeviceIndex (bool) const override { return 0; }
    int getIndexOfDevice (AudioIODevice*, bool) const override { return 0; }

    const bool failsAlways;
};

TEST_F (UserSeesTest, WithoutCaptureThePlayerStillPlaysAndWithoutOutputTheSetupPageSaysWhy)
{
    for (const bool failsAlways : { false, true })
    {
        AudioDeviceManager manager;
        manager.addAudioDeviceType (std::make_unique<FailingDevice> (failsAlways));
        AudioSetupPage page (manager, MainComponent::openAudioDevice (manager));
        note (failsAlways ? "no output: page says" : "no capture: page says",
              page.problemLabel->isVisible() ? page.problemLabel->getText() : "nothing");
    }
}

using DataFolderTest = VelorinTest;

TEST_F (DataFolderTest, ADataFolderThatCannotBeWrittenIsToldAtStart)
{
    const auto folder = privateHome.dataFolder();
    folder.getParentDirectory().createDirectory();

    for (const bool readOnly : { false, true })   // a file in its place, a folder no one may write to
    {
        folder.deleteRecursively();
        const bool made = readOnly ? folder.createDirectory().wasOk() && folder.setReadOnly (true)
                                   : folder.replaceWithText ("not a folder");
        ASSERT_TRUE (made);
        seteuid (65534);   // root writes anywhere: the player then starts as someone who can't (the record shows it)
        ReplayProcessor processor;
        const bool restored = seteuid (getuid()) == 0;
        ASSERT_TRUE (restored);
        ReplayProcessorEditor editor (&processor);
        recordTold (*this, editor);
        editor.tellAboutDataFolder();
    }
}
