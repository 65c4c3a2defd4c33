#include "engine/MidiMap.h"
#include "engine/XmlFiles.h"

namespace
{
    juce::String attributeName (int row)
    {
        return "midi-" + juce::String (row);
    }
}

MidiMap::MidiMap()
{
    for (int i = 0; i < numMappings; ++i)
    {
        mappings[i].action = i;

        for (auto& slot : mappings[i].slots)
        {
            slot.data.malloc (maxLearnedSize);
            slot.capacity = maxLearnedSize;
        }
    }

    auto document = XmlFiles::readDocument (getMapFile());
    mayReplace = document.mayReplace;

    if (document.root != nullptr)
    {
        for (int i = 0; i < numMappings; ++i)
        {
            loaded[i] = document.root->getStringAttribute (attributeName (i));
            setMessage (i, loaded[i]);
        }
    }
}

MidiMap::~MidiMap()
{
    write();
}

void MidiMap::write()
{
    if (! mayReplace)
        return;

    mayReplace = false;

    const XmlFiles::WriteLock lock;

    if (! lock.isHeld() || ! writeLocked())
        XmlFiles::tellNotKept (TRANS ("learned MIDI actions"), getMapFile());
}

bool MidiMap::writeLocked() const
{
    const auto now = XmlFiles::readDocument (getMapFile());

    if (! now.mayReplace)
        return true;

    juce::XmlElement root ("midimap");

    for (int i = 0; i < numMappings; ++i)
    {
        const auto message = getMessage (i);
        const bool keepTheFiles = message == loaded[i] && now.root != nullptr
                               && now.root->hasAttribute (attributeName (i));
        root.setAttribute (attributeName (i),
                           keepTheFiles ? now.root->getStringAttribute (attributeName (i)) : message);
    }

    return XmlFiles::writeDocument (root, getMapFile());
}

juce::String MidiMap::messageText (const juce::MidiMessage& message)
{
    return juce::String::toHexString (message.getRawData(), message.getRawDataSize(), 1);
}

juce::File MidiMap::getMapFile()
{
    return XmlFiles::getDataFile ("midi.map");
}

bool MidiMap::handleMessage (const juce::MidiMessage& message, int& action)
{
    return handleMessage (message.getRawData(), message.getRawDataSize(), action);
}

bool MidiMap::handleMessage (const juce::uint8* data, int size, int& action)
{
    if (learning)
    {
        const int target = learnIndex.exchange (-1);

        if (target >= 0 && target < numMappings)
            store (mappings[target], data, size);

        return false;
    }

    if (size <= 0)
        return false;

    for (auto& mapping : mappings)
    {
        const auto& learned = mapping.slots[mapping.current.load (std::memory_order_acquire)];

        if (learned.size == size && std::memcmp (learned.data, data, (size_t) size) == 0)
        {
            action = mapping.action;
            return true;
        }
    }

    return false;
}

void MidiMap::store (MidiMapping& row, const juce::uint8* data, int size)
{
    const int spare = 1 - row.current.load (std::memory_order_relaxed);
    auto& slot = row.slots[spare];

    if (size <= 0 || size > slot.capacity)
        return;

    std::memcpy (slot.data, data, (size_t) size);
    slot.size = size;
    row.current.store (spare, std::memory_order_release);
    row.version.fetch_add (1, std::memory_order_release);
}

juce::String MidiMap::getMessage (int row) const
{
    const auto& mapping = mappings[row];

    // The bytes are read while the audio thread may be storing a newer message in the other
    // slot; a text made while the version moved on is made again from the newer one.
    for (;;)
    {
        const int version = mapping.version.load (std::memory_order_acquire);

        if (version == mapping.textVersion)
            return mapping.text;

        const auto& learned = mapping.slots[mapping.current.load (std::memory_order_acquire)];
        auto text = juce::String::toHexString (learned.data, learned.size, 1);

        if (mapping.version.load (std::memory_order_acquire) == version)
            return text;
    }
}

void MidiMap::setMessage (int row, const juce::String& text)
{
    auto& mapping = mappings[row];

    juce::MemoryBlock bytes;
    bytes.loadFromHexString (text);
    const auto size = (int) bytes.getSize();
    const bool isMessageText = size > 0 && juce::String::toHexString (bytes.getData(), size, 1) == text;

    const int spare = 1 - mapping.current.load();
    auto& slot = mapping.slots[spare];
    slot.size = 0;

    if (isMessageText)
    {
        if (size > slot.capacity)
        {
            slot.data.malloc (size);
            slot.capacity = size;
        }

        std::memcpy (slot.data, bytes.getData(), (size_t) size);
        slot.size = size;
    }

    mapping.current = spare;
    mapping.text = text;
    mapping.textVersion = ++mapping.version;
}

void MidiMap::selectLearnTarget (int action)
{
    if (learning)
    {
        if (action >= 0 && action < numMappings)
            mappings[action].action = action;

        learnIndex = action;
    }
    else
    {
        learnIndex = 0;
    }
}
