#pragma once

#include <juce_core/juce_core.h>

/** Where the program's data files live, and how every XML file of the program is read
    and written: the declaration, a blank line, CRLF line ends, wrapped at 60, UTF-8. */
struct XmlFiles
{
    /** <user application data>/DravikLabs/Velorin */
    static juce::File getDataFolder();

    /** A file inside the data folder. */
    static juce::File getDataFile (const juce::String& fileName);

    /** Parses a whole document from a file of at most maxDocumentBytes; nullptr when it is
        missing, larger, empty or malformed. External entities and DTDs are never loaded (a
        document naming one, such as /dev/zero, could otherwise read without end). */
    static std::unique_ptr<juce::XmlElement> parseFile (const juce::File& file);

    static constexpr juce::int64 maxDocumentBytes = 64 * 1024 * 1024;

    /** Parses one of the program's own data files, like parseFile.
        A file with content that doesn't parse is first copied to "<name>.bak", so that
        what the user had survives the next write over it. */
    static std::unique_ptr<juce::XmlElement> readDocument (const juce::File& file);

    /** Writes the element as a whole document; true when the file was written. */
    static bool writeDocument (const juce::XmlElement& root, const juce::File& file);

    /** A path read from one of the files, as a File: only an absolute path (a "~" isn't
        expanded from a file), with "." and ".." resolved the way the file system would;
        anything else gives File(). JUCE asserts on a ".." that climbs above the root. */
    static juce::File fileFromStoredPath (const juce::String& path);

    /** A number as printf "%.20g" writes it in the C locale: 0 is "0", 1.5 is "1.5". */
    static juce::String formatNumber (double value);
};
