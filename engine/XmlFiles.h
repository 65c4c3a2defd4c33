#pragma once

#include <juce_core/juce_core.h>

#include <string_view>

/** Where the program's data files live, and how every XML file of the program is read
    and written: the declaration, a blank line, CRLF line ends, wrapped at 60, UTF-8. */
struct XmlFiles
{
    /** <user application data>/DravikLabs/Velorin */
    static juce::File getDataFolder();

    /** A file inside the data folder. */
    static juce::File getDataFile (const juce::String& fileName);

    /** The largest document read or written. It only guards against something that is not a
        file of ours; the writer refuses to write more, so whatever it writes reads back. */
    static constexpr juce::int64 maxDocumentBytes = (juce::int64) 1 << 30;

    /** The deepest nesting of elements read: JUCE's parser recurses once per level. */
    static constexpr int maxDepth = 256;

    /** The check every document passes before JUCE's parser gets it (`text` is UTF-8 with
        no byte-order mark): what it passes, the parser reads completely, no deeper than
        maxDepth. */
    static bool isPlainXml (std::string_view text);

    /** Parses a whole document from a regular file; nullptr when it is missing, not a
        regular file (a device or a FIFO would never end or never answer), unreadable,
        larger than maxDocumentBytes, empty or malformed. External entities and DTDs are
        never loaded. */
    static std::unique_ptr<juce::XmlElement> parseFile (const juce::File& file);

    /** What reading one of the program's own data files found. */
    struct Document
    {
        std::unique_ptr<juce::XmlElement> root;   // nullptr unless the file parsed

        /** False when the file must be left as it is: it exists but couldn't be read, or it
            didn't parse and no complete copy of it could be made. */
        bool mayReplace = true;

        /** Which file was read, and in what state: changes whenever the file is replaced or written. */
        juce::String identity;
    };

    /** Reads one of the program's own data files. A file with content that doesn't parse is
        first copied to "<name>.bak" (verified by reading it back), so that what the user had
        survives the next write over it. */
    static Document readDocument (const juce::File& file);

    /** The identity readDocument would give the file as it is now. */
    static juce::String identityOf (const juce::File& file);

    /** Writes the element as a whole document through a temporary file, which replaces the
        file only once it is completely written; true when the file was written. A file that
        is a symbolic link stays one: the temporary file goes beside the link's final target
        and replaces that. The temporary file is locked while it is written. */
    static bool writeDocument (const juce::XmlElement& root, const juce::File& file);

    /** Why the last writeDocument (or WriteLock) on this thread failed, for telling the user. */
    static juce::String getLastWriteError();

    /** Tells on stderr that `what` isn't kept, where and why (the last write error): for a
        write at exit, when there is nobody else to tell. */
    static void tellNotKept (const juce::String& what, const juce::File& file);

    /** While it lives, holds the data folder's write lock (an advisory lock on its ".lock"
        file), so that checking a data file, reading it, merging into it and writing it are
        one step that no other copy of the program comes between. It waits for the lock
        `lockWaitSeconds` at most: without it, nothing may be written. */
    class WriteLock
    {
    public:
        WriteLock();
        ~WriteLock();

        bool isHeld() const noexcept { return fd >= 0; }

    private:
        int fd = -1;

        JUCE_DECLARE_NON_COPYABLE (WriteLock)
    };

    static constexpr double lockWaitSeconds = 5.0;

    /** Makes the data folder when it is missing. Returns why it can't be made or written to,
        or an empty string when it can. */
    static juce::String prepareDataFolder();

    /** Removes what interrupted writes left in a folder: the temporary files of the data
        files that no copy of the program is writing, and those of earlier versions. */
    static void removeLeftovers (const juce::File& folder);

    /** True for an existing regular file: the only kind of file the program opens. */
    static bool isRegularFile (const juce::File& file);

    /** A path read from one of the files, as a File: only an absolute path (a "~" isn't
        expanded from a file), with "." and ".." resolved the way the file system would;
        anything else gives File(). JUCE asserts on a ".." that climbs above the root. */
    static juce::File fileFromStoredPath (const juce::String& path);

    /** True for strict UTF-8 (no overlong forms, no surrogates, nothing beyond U+10FFFF): the
        only text the files hold, and so the only names of files the program can keep. */
    static bool isValidUtf8 (std::string_view text);

    /** A number as printf "%.20g" writes it in the C locale: 0 is "0", 1.5 is "1.5". */
    static juce::String formatNumber (double value);
};
