#include "VelorinTest.h"
#include "app/AudioSetupPage.h"
#include "app/MainComponent.h"
#include "ui/ReplayProcessorEditor.h"
#include <sys/stat.h>
#include <unistd.h>
#include <cstring>
#include <thread>

// What the user is told and shown: the messages of what failed, the views after DELETE and CLEAR, presses
// never lost to the audio thread, and the Audio Setup page of a device that can't capture or play.

/** Records what the editor tells the user, this HOME as "~". */
static void recordTold (VelorinTest& test, ReplayProcessorEditor& editor)
{
    editor.tellUser = [&test] (const juce::String& title, const juce::String& message)
    {
        test.note (title, message.replace (test.home.getFullPathName(), "~").replace ("\n", " | "));
    };
}

class UserSeesTest : public VelorinTest
{
protected:
    UserSeesTest()   { recordTold (*this, editor); }

    /** With a.wav (1 s) and b.wav (2 s), makes a row current, lets the tick show it and DELETEs it. */
    void deleteTheCurrentEntry (int row)
    {
        editor.addFileChosen (audioFile ("a.wav"));
        editor.addFileChosen (audioFile ("b.wav", 8000.0, 1, 2.0));
        processor.selectTrack (row);
        editor.timerCallback();
        editor.buttonClicked (editor.deleteButton.get());   // the row the tick selected
        editor.timerCallback();
    }

    ReplayProcessor processor;
    ReplayProcessorEditor editor { &processor };
};

TEST_F (UserSeesTest, FailedSaveLoadAndAddTellWhichFileAndWhy)
{
    ASSERT_TRUE (home.getChildFile ("list.xml").createDirectory());
    ASSERT_TRUE (home.getChildFile ("garbage.xml").replaceWithText ("not xml <<"));
    ASSERT_TRUE (home.getChildFile ("other.xml").replaceWithText ("<other/>"));
    ASSERT_TRUE (home.getChildFile ("broken.wav").replaceWithText ("RIFF, but no audio"));
    editor.askToOverwrite = [] (std::function<void (bool)> reply) { reply (true); };

    note ("what SAVE, LOAD, +FILE and +PATH tell when they fail");
    editor.saveChosen (home.getChildFile ("list"));        // chosen without ".xml": over the folder list.xml
    editor.saveChosen (home.getChildFile ("gone/list"));   // into a folder that isn't there
    for (auto name : { "missing.xml", "garbage.xml", "other.xml" })
        editor.loadChosen (home.getChildFile (name));
    for (auto name : { "song.mp3", "broken.wav" })
        editor.addFileChosen (home.getChildFile (name));
    editor.addFileChosen (audioFile ("fine.aiff"));   // nothing told
    processor.folderScanLimitSeconds = -1.0;
    editor.addPathChosen (audio);   // a listing cut short names its folder
}

TEST_F (UserSeesTest, AfterDeleteTheViewsShowTheNewCurrentEntryAndAfterClearNoTimes)
{
    deleteTheCurrentEntry (0);
    note ("a.wav deleted", editor.effects.playInfoLabel->getText().replace ("\n", ", "));
    editor.buttonClicked (editor.clearButton.get());
    editor.timerCallback();
    EXPECT_EQ (editor.effects.playInfoLabel->getText(), "") << "after CLEAR";
}

TEST_F (UserSeesTest, DeletingTheCurrentEntryInTheLastRowLeavesNoTimes)
{
    deleteTheCurrentEntry (1);
    EXPECT_EQ (editor.effects.playInfoLabel->getText(), "");
}

TEST_F (UserSeesTest, PressesAndTrackStepsAreNeverLostToTheAudioThread)
{
    for (auto name : { "0.wav", "1.wav", "2.wav", "3.wav" })
        processor.addFile (audio.getChildFile (name));   // none there: nothing plays, but none is missed
    processor.selectTrack (1);
    const bool paused = processor.paused;
    const auto noteOn = [] (int action) { return juce::MidiMessage::noteOn (1, 60 + action, (juce::uint8) 127); };
    for (int action = 0; action < 4; ++action)
        processor.midiMap.setMessage (action, MidiMap::messageText (noteOn (action)));

    // Each block goes to the next entry or (odd ones) back, and flips PLAY and LOOP twice; each round of
    // presses does the same. Checked between rounds, under the lock.
    std::atomic<int> blocks { 0 };
    std::thread device ([&]
    {
        juce::AudioBuffer<float> buffer (2, 16);
        while (blocks < 20000)
        {
            juce::MidiBuffer midi;
            for (auto action : { blocks % 2, 2, 3, 2, 3 })
                midi.addEvent (noteOn (action), 0);
            const juce::ScopedLock sl (processor.getCallbackLock());
            processor.processBlock (buffer, midi);
            ++blocks;
        }
    });
    auto& panel = editor.effects;
    const std::initializer_list<juce::Button*> round { panel.nextButton.get(), panel.playButton.get(),
                                                       panel.repeatButton.get(), panel.prevButton.get(),
                                                       panel.playButton.get(), panel.repeatButton.get() };
    int misses = 0;
    while (blocks < 20000)
    {
        for (auto* button : round)
            panel.buttonClicked (button);
        const juce::ScopedLock sl (processor.getCallbackLock());
        const bool kept = processor.currentIndex == 1 + blocks % 2 && processor.paused == paused
                          && ! processor.loopEnabled;
        misses += kept ? 0 : 1;
    }
    device.join();
    EXPECT_EQ (misses, 0);
}

/** A stereo device and its type: it won't open with any input, or (failsAlways) at all, and never runs. */
struct FailingDevice : juce::AudioIODevice, juce::AudioIODeviceType
{
    explicit FailingDevice (bool always)
        : AudioIODevice ("Fake", "Fake"), AudioIODeviceType ("Fake"), failsAlways (always)
    {
    }

    juce::String open (const juce::BigInteger& ins, const juce::BigInteger& outs, double, int) override
    {
        outputs = failsAlways || ! ins.isZero() ? juce::BigInteger() : outs;
        return outputs.isZero() ? "capture refused at this rate" : "";
    }

    juce::BigInteger getActiveOutputChannels() const override   { return outputs; }
    juce::BigInteger getActiveInputChannels() const override    { return {}; }
    bool isOpen() override                                      { return ! outputs.isZero(); }
    juce::StringArray getOutputChannelNames() override          { return { "L", "R" }; }
    juce::StringArray getInputChannelNames() override           { return { "L", "R" }; }
    juce::String getLastError() override                        { return {}; }
    juce::Array<double> getAvailableSampleRates() override      { return { 48000.0 }; }
    double getCurrentSampleRate() override                      { return 48000.0; }
    juce::Array<int> getAvailableBufferSizes() override         { return { 256 }; }
    int getDefaultBufferSize() override                         { return 256; }
    int getCurrentBufferSizeSamples() override                  { return 256; }
    int getCurrentBitDepth() override                           { return 16; }
    bool isPlaying() override                                   { return false; }
    void close() override {}
    void start (juce::AudioIODeviceCallback*) override {}
    void stop() override {}
    int getOutputLatencyInSamples() override                    { return 0; }
    int getInputLatencyInSamples() override                     { return 0; }

    juce::AudioIODevice* createDevice (const juce::String&, const juce::String&) override
    {
        return new FailingDevice (failsAlways);
    }

    void scanForDevices() override {}
    juce::StringArray getDeviceNames (bool) const override      { return { "Fake" }; }
    bool hasSeparateInputsAndOutputs() const override           { return false; }
    int getDefaultDeviceIndex (bool) const override             { return 0; }
    int getIndexOfDevice (juce::AudioIODevice*, bool) const override { return 0; }

    const bool failsAlways;
    juce::BigInteger outputs;
};

TEST_F (UserSeesTest, WithoutCaptureThePlayerStillPlaysAndWithoutOutputTheSetupPageSaysWhy)
{
    for (const bool failsAlways : { false, true })
    {
        juce::AudioDeviceManager manager;
        manager.addAudioDeviceType (std::make_unique<FailingDevice> (failsAlways));
        AudioSetupPage page (manager, MainComponent::openAudioDevice (manager));
        auto* device = manager.getCurrentAudioDevice();
        const auto outputs = device != nullptr ? device->getActiveOutputChannels().countNumberOfSetBits() : 0;
        note (failsAlways ? "no output" : "no capture", juce::String (outputs) + " outputs, page "
                  + (page.problemLabel->isVisible() ? "says: " + page.problemLabel->getText() : "says nothing"));
    }
}

using DataFolderTest = VelorinTest;

TEST_F (DataFolderTest, ADataFolderThatCannotBeWrittenIsToldAtStart)
{
    const auto folder = privateHome.dataFolder();
    const auto path = folder.getFullPathName().toStdString();
    ASSERT_TRUE (folder.getParentDirectory().createDirectory());

    for (const bool readOnly : { false, true })   // a file in its place, a folder no one may write to
    {
        const bool made = readOnly ? folder.createDirectory().wasOk() && chmod (path.c_str(), 0555) == 0
                                   : folder.replaceWithText ("not a folder");
        ASSERT_TRUE (made);
        note (readOnly ? "a read-only folder" : "a file in its place");
        {
            const bool root = geteuid() == 0;   // root writes anywhere: the player then starts as someone who can't
            ASSERT_TRUE (! root || seteuid (65534) == 0);
            ReplayProcessor processor;
            ASSERT_TRUE (! root || seteuid (0) == 0);
            ReplayProcessorEditor editor (&processor);
            recordTold (*this, editor);
            editor.tellAboutDataFolder();
        }
        chmod (path.c_str(), 0755);
        ASSERT_TRUE (folder.deleteRecursively());
    }
}

TEST_F (UserSeesTest, PathNamesEachFolderThatCannotBeReadAndWhy)
{
    const auto tree = home.getChildFile ("tree");
    const auto locked = tree.getChildFile ("locked");
    ASSERT_TRUE (locked.createDirectory());
    audioFile ("a.wav").copyFileTo (tree.getChildFile ("a.wav"));
    chmod (locked.getFullPathName().toRawUTF8(), 0);

    const bool root = geteuid() == 0;   // root reads any folder: the scan then runs as someone who can't
    ASSERT_TRUE (! root || seteuid (65534) == 0);
    editor.addPathChosen (tree);
    editor.addPathChosen (locked);
    ASSERT_TRUE (! root || seteuid (0) == 0);

    EXPECT_EQ (processor.playlist.size(), 1);
}

TEST_F (UserSeesTest, PathNamesFilesWhoseNamesAreNotUtf8InsteadOfAddingThemBroken)
{
    const auto raw = audio.getFullPathName().toStdString() + "/";
    const auto fine = audioFile ("fine.wav");
    const char* names[] = { "Caf\xe9.wav", "\xe9t\xe9.wav", "\xe9t\xe9.txt" };

    for (auto name : names)
        ASSERT_EQ (link (fine.getFullPathName().toRawUTF8(), (raw + name).c_str()), 0) << name;

    editor.addPathChosen (audio);

    for (auto name : names)
        unlink ((raw + name).c_str());   // JUCE can't remove what it can't name

    EXPECT_EQ (processor.playlist.size(), 1);
}

TEST_F (UserSeesTest, LoadTellsHowManyItemsItSkippedAndTheFirst)
{
    juce::String list ("<playlist>");

    for (auto name : { "/x/1.wav", "relative/a.wav", "~/b.wav", "/x/2.wav", "file:///x/c.wav", " /x/d.wav", "/x/3.wav",
                       "C:\\Music\\e.wav", "./f.wav", "/x/4.wav", "/x/5.wav" })
        list << "<file name=\"" << name << "\"/>";

    const auto file = home.getChildFile ("list.xml");
    ASSERT_TRUE (file.replaceWithText (list + "</playlist>"));

    editor.loadChosen (file);

    EXPECT_EQ (processor.playlist.size(), 5);
}
