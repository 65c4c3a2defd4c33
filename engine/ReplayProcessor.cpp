#include "engine/ReplayProcessor.h"
#include "engine/XmlFiles.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <filesystem>

ReplayProcessor::ReplayProcessor()
    : juce::AudioProcessor (BusesProperties()
                                .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                                .withOutput ("Output", juce::AudioChannelSet::stereo(), true))
{
    formatManager.registerBasicFormats();

    const auto file = getDataFile();

    if (! file.existsAsFile())
        file.create();

    dataRoot = XmlFiles::readDocument (file);

    if (dataRoot == nullptr)
        dataRoot = std::make_unique<juce::XmlElement> ("data");
}

ReplayProcessor::~ReplayProcessor()
{
    clearPlaylist();
    XmlFiles::writeDocument (*dataRoot, getDataFile());
    dataRoot.reset();
    formatManager.clearFormats();
}

void ReplayProcessor::writeDataFiles()
{
    for (auto* entry : playlist)
        entry->storePoints();

    XmlFiles::writeDocument (*dataRoot, getDataFile());
    midiMap.write();
}

juce::File ReplayProcessor::getDataFile()
{
    return XmlFiles::getDataFile ("data.xml");
}

//==============================================================================
const juce::String ReplayProcessor::getName() const          { return "Velorin"; }
void ReplayProcessor::prepareToPlay (double, int)            {}
void ReplayProcessor::releaseResources()                     {}
bool ReplayProcessor::silenceInProducesSilenceOut() const    { return false; }
double ReplayProcessor::getTailLengthSeconds() const         { return 0.0; }
bool ReplayProcessor::acceptsMidi() const                    { return false; }
bool ReplayProcessor::producesMidi() const                   { return false; }

bool ReplayProcessor::hasEditor() const                      { return true; }

JUCE_BEGIN_IGNORE_WARNINGS_GCC_LIKE ("-Wdeprecated-declarations")

const juce::String ReplayProcessor::getInputChannelName (int channelIndex) const   { return juce::String (channelIndex + 1); }
const juce::String ReplayProcessor::getOutputChannelName (int channelIndex) const  { return juce::String (channelIndex + 1); }
bool ReplayProcessor::isInputChannelStereoPair (int) const                         { return true; }
bool ReplayProcessor::isOutputChannelStereoPair (int) const                        { return true; }

int ReplayProcessor::getNumParameters()   { return 2; }

const juce::String ReplayProcessor::getParameterName (int parameterIndex)
{
    switch (parameterIndex)
    {
        case 0:  return "gain";
        case 1:  return "delay";
        default: return {};
    }
}

float ReplayProcessor::getParameter (int parameterIndex)
{
    switch (parameterIndex)
    {
        case 0:  return gain;
        case 1:  return delay;
        default: return 0.0f;
    }
}

const juce::String ReplayProcessor::getParameterText (int parameterIndex)
{
    return juce::String ((double) getParameter (parameterIndex), 2);
}

void ReplayProcessor::setParameter (int parameterIndex, float newValue)
{
    if (parameterIndex == 0)
        gain = newValue;
    else if (parameterIndex == 1)
        delay = newValue;
}

JUCE_END_IGNORE_WARNINGS_GCC_LIKE

int ReplayProcessor::getNumPrograms()                        { return 0; }
int ReplayProcessor::getCurrentProgram()                     { return 0; }
void ReplayProcessor::setCurrentProgram (int)                {}
void ReplayProcessor::changeProgramName (int, const juce::String&) {}

const juce::String ReplayProcessor::getProgramName (int index)
{
    if (auto* entry = playlist[index])
        return entry->getFilePath();

    return {};
}

void ReplayProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    juce::XmlElement state ("MYPLUGINSETTINGS");
    state.setAttribute ("uiWidth", uiWidth);
    state.setAttribute ("uiHeight", uiHeight);
    state.setAttribute ("gain", (double) gain.load());
    state.setAttribute ("delay", (double) delay.load());
    copyXmlToBinary (state, destData);
}

void ReplayProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    const auto state = getXmlFromBinary (data, sizeInBytes);

    if (state == nullptr || state->getTagName() != "MYPLUGINSETTINGS")
        return;

    uiWidth = state->getIntAttribute ("uiWidth", uiWidth);
    uiHeight = state->getIntAttribute ("uiHeight", uiHeight);
    gain = (float) state->getDoubleAttribute ("gain", (double) gain.load());
    delay = (float) state->getDoubleAttribute ("delay", (double) delay.load());
}

//==============================================================================
void ReplayProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midiMessages)
{
    if (! midiMessages.isEmpty())
    {
        for (const auto metadata : midiMessages)
        {
            int action = 0;

            if (! midiMap.handleMessage (metadata.getMessage(), action))
                continue;

            switch (action)
            {
                case 0:  switchTrack (currentIndex + 1); break;
                case 1:  switchTrack (currentIndex - 1); break;
                case 2:  paused = ! paused; break;
                case 3:  loopEnabled = ! loopEnabled; break;
                default: break;
            }
        }

        midiActivity = true;
    }

    const int numSamples = buffer.getNumSamples();
    const int numChannels = buffer.getNumChannels();

    for (int channel = 0; channel < juce::jmin (getTotalNumOutputChannels(), numChannels); ++channel)
        buffer.clear (channel, 0, numSamples);

    if (playlist.isEmpty())
        paused = true;

    if (currentIndex < 0)
        switchTrack (0);

    if (paused)
        return;

    // Without a device rate, an output channel or a sample there is nothing to load or render into.
    if (getSampleRate() <= 0.0 || numChannels == 0 || numSamples == 0)
        return;

    auto* entry = playlist[currentIndex];

    if (entry == nullptr)
        return;

    if (entry->source == nullptr)
        entry->load (numSamples, (float) getSampleRate());

    if (buffer.getWritePointer (0) != nullptr && entry->source != nullptr)
        renderEntry (*entry, buffer);

    buffer.applyGain (0, numSamples, volume);
}

void ReplayProcessor::renderEntry (PlaylistEntry& entry, juce::AudioBuffer<float>& buffer)
{
    auto& source = *entry.source;
    source.getNextResampledAudioBlock (juce::AudioSourceChannelInfo (&buffer, 0, buffer.getNumSamples()));

    // A-B loop; a loop whose A isn't before B counts as none.
    const float a = entry.loopA;
    const float b = entry.loopB;

    if (b > 0.0f && loopEnabled && a < b)
    {
        if (source.positionToSeconds (source.getNextReadPosition()) > b)
            source.setNextReadPosition (source.secondsToPosition (a));
    }

    // End of file, after the gap of `delay` seconds.
    const float position = source.positionToSeconds (source.getNextReadPosition());
    const float length = source.positionToSeconds (source.getTotalLength());

    if (position >= delay + length)
    {
        if (loopEnabled)
            source.setNextReadPosition (0);
        else
            switchTrack (currentIndex + 1);   // deletes the source: nothing may use it after this
    }
}

//==============================================================================
void ReplayProcessor::selectTrack (int index)
{
    std::unique_ptr<ResampledAudioFormatReaderSource> unloaded;

    {
        const juce::ScopedLock sl (getCallbackLock());
        unloaded = switchTrack (index);
    }
}

std::unique_ptr<ResampledAudioFormatReaderSource> ReplayProcessor::switchTrack (int index)
{
    const int current = currentIndex;
    const int size = playlist.size();

    if (index == current || size == 0)
        return nullptr;

    if (index > size || index < 0)
    {
        paused = true;
        return nullptr;
    }

    index = juce::jmin (index, size - 1);

    std::unique_ptr<ResampledAudioFormatReaderSource> unloaded;

    if (auto* leaving = playlist[current])
        unloaded = std::move (leaving->source);

    currentIndex = index;
    return unloaded;
}

int ReplayProcessor::getCurrentIndex() const
{
    return playlist.isEmpty() ? -1 : currentIndex.load();
}

float ReplayProcessor::getEntryPositionSeconds (const PlaylistEntry& entry) const
{
    const juce::ScopedLock sl (getCallbackLock());
    return entry.getPositionSeconds();
}

void ReplayProcessor::moveEntryTo (PlaylistEntry& entry, float seconds)
{
    const juce::ScopedLock sl (getCallbackLock());
    entry.position = seconds;

    if (entry.source != nullptr)
        entry.source->setNextReadPosition (entry.source->secondsToPosition (seconds));
}

//==============================================================================
void ReplayProcessor::addFile (const juce::File& file)
{
    const juce::WildcardFileFilter filter (formatManager.getWildcardForAllFormats(), {}, "Audio");

    if (! filter.isFileSuitable (file))
        return;

    auto entry = std::make_unique<PlaylistEntry> (file, &formatManager, dataRoot.get());

    const juce::ScopedLock sl (getCallbackLock());
    playlist.add (entry.release());
}

void ReplayProcessor::addDirectory (const juce::File& folder)
{
    juce::StringArray scanning;
    addDirectory (folder, scanning);
}

namespace
{
    juce::String canonicalPath (const juce::File& folder)
    {
        std::error_code error;
        const auto path = std::filesystem::canonical (folder.getFullPathName().toStdString(), error);
        return error ? folder.getFullPathName() : juce::String (path.string());
    }
}

void ReplayProcessor::addDirectory (const juce::File& folder, juce::StringArray& scanning)
{
    const auto canonical = canonicalPath (folder);

    if (scanning.contains (canonical))
        return;

    // The list sorts by name only; folders come first, each group keeping that order.
    juce::Array<juce::File> folders, files;

    {
        juce::TimeSliceThread thread ("ReplayProcessor file searcher");
        juce::DirectoryContentsList list (nullptr, thread);
        list.setDirectory (folder, true, true);
        thread.startThread (juce::Thread::Priority::low);

        // Waits in short slices so a scan that ends quickly costs next to nothing; a scan
        // still going after 100 seconds is cut off with what it has found.
        const auto deadline = juce::Time::getMillisecondCounterHiRes() + 100000.0;

        while (list.isStillLoading() && juce::Time::getMillisecondCounterHiRes() < deadline)
            juce::Thread::sleep (2);

        const int numFiles = list.getNumFiles();

        for (int i = 0; i < numFiles; ++i)
        {
            juce::DirectoryContentsList::FileInfo info;

            if (list.getFileInfo (i, info))
                (info.isDirectory ? folders : files).add (list.getFile (i));
        }
    }

    scanning.add (canonical);

    for (const auto& subfolder : folders)
    {
        addDirectory (subfolder, scanning);
        juce::Logger::outputDebugString ("Added " + subfolder.getFileName());
    }

    scanning.removeString (canonical);

    for (const auto& file : files)
    {
        addFile (file);
        juce::Logger::outputDebugString ("Added " + file.getFileName());
    }
}

void ReplayProcessor::removeEntry (int index)
{
    std::unique_ptr<ResampledAudioFormatReaderSource> unloaded;
    std::unique_ptr<PlaylistEntry> removed;

    {
        const juce::ScopedLock sl (getCallbackLock());

        if (index == currentIndex)
            unloaded = switchTrack (currentIndex + 1);

        if (juce::isPositiveAndBelow (index, playlist.size()))
        {
            removed.reset (playlist.removeAndReturn (index));

            if (index < currentIndex)
                --currentIndex;
        }
    }
}

bool ReplayProcessor::savePlaylist (const juce::File& file)
{
    juce::XmlElement root ("playlist");

    for (auto* entry : playlist)
        root.createNewChildElement ("file")->setAttribute ("name", entry->getFilePath());

    return XmlFiles::writeDocument (root, file);
}

void ReplayProcessor::clearPlaylist()
{
    juce::OwnedArray<PlaylistEntry> removed;

    {
        const juce::ScopedLock sl (getCallbackLock());
        removed.swapWith (playlist);
    }

    removed.clear();
}
