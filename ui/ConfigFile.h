#pragma once

#include <juce_core/juce_core.h>

/** The player screen's last-used folders, kept in the ".config" file of the data folder:
    read once when made, written once when destroyed (or before); in between only memory changes.
    Attributes and children it doesn't know are kept and written back. */
class ConfigFile
{
public:
    explicit ConfigFile (const juce::String& productName);
    ~ConfigFile();

    /** Writes the file, once: here or else in the destructor. A file that couldn't be read
        is left alone; when it can't be written stderr is told why. */
    void write();

    /** The value of a key, or an empty string when it was never set. */
    juce::String getValue (const juce::String& key) const;

    /** Sets a key; an existing one keeps its place, a new one goes after the others. */
    void setValue (const juce::String& key, const juce::String& value);

    juce::XmlElement settings { "config" };
    juce::File file;

private:
    bool mayReplace = true;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ConfigFile)
};
