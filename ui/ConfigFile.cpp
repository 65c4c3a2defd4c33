#include "ui/ConfigFile.h"
#include "engine/XmlFiles.h"

ConfigFile::ConfigFile (const juce::String& productName)
    : file (juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory).getFullPathName()
            + "/DravikLabs/" + productName + "/.config")
{
    if (auto loaded = XmlFiles::readDocument (file))
        settings = *loaded;
}

ConfigFile::~ConfigFile()
{
    write();
}

void ConfigFile::write() const
{
    XmlFiles::writeDocument (settings, file);
}

juce::String ConfigFile::getValue (const juce::String& key) const
{
    return settings.getStringAttribute (key);
}

void ConfigFile::setValue (const juce::String& key, const juce::String& value)
{
    settings.setAttribute (key, value);
}
