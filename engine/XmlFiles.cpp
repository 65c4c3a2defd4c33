#include "engine/XmlFiles.h"

#include <filesystem>
#include <locale>
#include <sstream>
#include <string_view>

namespace
{
    bool isDigit (char c, bool hex)
    {
        return (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
    }

    /** Strict UTF-8: no overlong forms, no surrogates, nothing beyond U+10FFFF. */
    bool isValidUtf8 (std::string_view text)
    {
        for (size_t i = 0; i < text.size();)
        {
            const auto c = (unsigned char) text[i];
            int length = 1;
            unsigned char low = 0x80, high = 0xbf;

            if (c < 0x80)           { ++i; continue; }
            if (c >= 0xc2 && c <= 0xdf)  length = 2;
            else if (c >= 0xe0 && c <= 0xef) { length = 3; if (c == 0xe0) low = 0xa0; if (c == 0xed) high = 0x9f; }
            else if (c >= 0xf0 && c <= 0xf4) { length = 4; if (c == 0xf0) low = 0x90; if (c == 0xf4) high = 0x8f; }
            else return false;

            if (i + (size_t) length > text.size())
                return false;

            for (int k = 1; k < length; ++k)
            {
                const auto next = (unsigned char) text[i + (size_t) k];

                if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xbf))
                    return false;
            }

            i += (size_t) length;
        }

        return true;
    }

    /** True for a reference such as "&amp;" or "&#233;" starting at `pos`. */
    bool isWellFormedReference (std::string_view text, size_t pos)
    {
        const auto end = text.find (';', pos);

        if (end == std::string_view::npos || end - pos > 12)
            return false;

        const auto name = text.substr (pos + 1, end - pos - 1);

        if (name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos")
            return true;

        if (name.size() < 2 || name[0] != '#')
            return false;

        const bool hex = name[1] == 'x' || name[1] == 'X';
        const auto digits = name.substr (hex ? 2 : 1);

        if (digits.empty())
            return false;

        for (auto c : digits)
            if (! isDigit (c, hex))
                return false;

        return true;
    }

    /** The files the program reads are plain XML as it writes them: UTF-8, at most a leading
        declaration, no DTD, and only well-formed references. JUCE's parser loops forever or
        reads past the end of its text on some departures from that (a processing instruction
        inside an element, a reference cut short at the end), so anything else is refused
        before it gets there, as a malformed file. */
    bool isPlainXml (const char* data, size_t size)
    {
        std::string_view text (data, size);

        if (! isValidUtf8 (text))
            return false;

        if (text.substr (0, 3) == "\xef\xbb\xbf")
            text.remove_prefix (3);

        size_t bodyStart = 0;
        const auto first = text.find_first_not_of (" \t\r\n");

        if (first != std::string_view::npos && text.compare (first, 5, "<?xml") == 0)
        {
            const auto end = text.find ("?>", first);

            if (end == std::string_view::npos)
                return false;

            bodyStart = end + 2;
        }

        const auto body = text.substr (bodyStart);

        if (body.find ("<?") != std::string_view::npos || body.find ("<!DOCTYPE") != std::string_view::npos
             || body.find ("<!ENTITY") != std::string_view::npos)
            return false;

        for (auto pos = body.find ('&'); pos != std::string_view::npos; pos = body.find ('&', pos + 1))
            if (! isWellFormedReference (body, pos))
                return false;

        return true;
    }
}

juce::File XmlFiles::getDataFolder()
{
    return juce::File (juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory).getFullPathName()
                       + "/DravikLabs/" + "Velorin");
}

juce::File XmlFiles::getDataFile (const juce::String& fileName)
{
    return juce::File (getDataFolder().getFullPathName() + "/" + fileName);
}

std::unique_ptr<juce::XmlElement> XmlFiles::parseFile (const juce::File& file)
{
    if (! file.existsAsFile())
        return nullptr;

    // Read with a limit: the size a device or a growing file reports can't be trusted.
    juce::FileInputStream in (file);

    if (! in.openedOk())
        return nullptr;

    juce::MemoryBlock data;
    in.readIntoMemoryBlock (data, (ssize_t) maxDocumentBytes + 1);

    if ((juce::int64) data.getSize() > maxDocumentBytes
         || ! isPlainXml (static_cast<const char*> (data.getData()), data.getSize()))
        return nullptr;

    // A document made from text has no source to fetch external entities from.
    return juce::XmlDocument (juce::String::fromUTF8 (static_cast<const char*> (data.getData()), (int) data.getSize()))
               .getDocumentElement();
}

std::unique_ptr<juce::XmlElement> XmlFiles::readDocument (const juce::File& file)
{
    if (! file.existsAsFile())
        return nullptr;

    auto root = parseFile (file);

    if (root == nullptr && file.getSize() > 0)
        file.copyFileTo (file.getSiblingFile (file.getFileName() + ".bak"));

    return root;
}

bool XmlFiles::writeDocument (const juce::XmlElement& root, const juce::File& file)
{
    juce::XmlElement::TextFormat format;
    format.customEncoding = "UTF-8";
    format.lineWrapLength = 60;
    return root.writeTo (file, format);
}

juce::File XmlFiles::fileFromStoredPath (const juce::String& path)
{
    if (! path.startsWithChar ('/'))
        return {};

    const auto normal = std::filesystem::path (path.toStdString()).lexically_normal().string();
    return juce::File (juce::String::fromUTF8 (normal.c_str()));
}

juce::String XmlFiles::formatNumber (double value)
{
    std::ostringstream out;
    out.imbue (std::locale::classic());
    out.precision (20);
    out << value;
    return juce::String (out.str());
}
