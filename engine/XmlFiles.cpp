#include "engine/XmlFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <locale>
#include <sstream>
#include <string_view>
#include <vector>

bool XmlFiles::isValidUtf8 (std::string_view text)
{
    for (size_t i = 0; i < text.size();)
    {
        const auto c = (unsigned char) text[i];
        int length = 1;
        unsigned char low = 0x80, high = 0xbf;

        if (c < 0x80)
        {
            ++i;
            continue;
        }
        if (c >= 0xc2 && c <= 0xdf)
            length = 2;
        else if (c >= 0xe0 && c <= 0xef)
        {
            length = 3;
            if (c == 0xe0)
                low = 0xa0;
            if (c == 0xed)
                high = 0x9f;
        }
        else if (c >= 0xf0 && c <= 0xf4)
        {
            length = 4;
            if (c == 0xf0)
                low = 0x90;
            if (c == 0xf4)
                high = 0x8f;
        }
        else
            return false;

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

namespace
{
    bool isDigit (char c, bool hex)
    {
        return (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
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

        // The parser reads at most 8 hexadecimal digits, and skips a character after more.
        if (digits.empty() || (hex && digits.size() > 8))
            return false;

        for (auto c : digits)
            if (! isDigit (c, hex))
                return false;

        return true;
    }

    /** As JUCE's parser skips white space: a blank or an ASCII control from tab to CR. */
    bool isXmlSpace (char c)
    {
        return c == ' ' || (c >= '\t' && c <= '\r');
    }

    /** A character JUCE's parser takes into a name. Characters beyond ASCII are left out:
        the parser's answer for them depends on the locale, and the program's names are ASCII. */
    bool isNameChar (char c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'
            || c == ':' || c == '.';
    }

    /** The files the program reads are plain XML as it writes them: UTF-8, at most a leading
        declaration, then one element, with no DTD or processing instruction, attributes
        only as name="value", well-formed references and at most XmlFiles::maxDepth levels.
        JUCE's parser loops forever, reads past the end of its text or runs out of stack
        on some departures from that (an instruction inside an element, a reference cut
        short at the end, elements nested thousands deep), so anything else is refused
        before it gets there, as a malformed file. The text is walked as that parser walks
        it, and whatever the parser skips (the declaration, comments, CDATA, closing tags)
        ends where the parser ends it: "<!-->" opens a comment, which ends at the first
        "-->" after the "<!--". What follows the element the parser never reads; only
        white space and comments may. `text` has no byte-order mark. The names of the
        elements are collected into `names`. */
    bool isPlainXml (std::string_view text, std::vector<std::string_view>& names)
    {
        if (! XmlFiles::isValidUtf8 (text) || text.find ('\0') != std::string_view::npos)
            return false;

        size_t pos = 0;

        auto at = [&] (std::string_view part) { return text.compare (pos, part.size(), part) == 0; };

        // Moves past the first `terminator` found from `from` on; false when there is none.
        auto skipPast = [&] (size_t from, std::string_view terminator)
        {
            const auto end = text.find (terminator, from);
            pos = end == std::string_view::npos ? text.size() : end + terminator.size();
            return end != std::string_view::npos;
        };

        auto skipSpace = [&]
        {
            while (pos < text.size() && isXmlSpace (text[pos]))
                ++pos;
        };

        auto skipName = [&]
        {
            const auto start = pos;

            while (pos < text.size() && isNameChar (text[pos]))
                ++pos;

            return text.substr (start, pos - start);
        };

        // The parser's way between the parts of a document: white space and comments.
        auto skipSpaceAndComments = [&]
        {
            for (skipSpace(); at ("<!--"); skipSpace())
                if (! skipPast (pos + 4, "-->"))
                    return false;

            return true;
        };

        // The rest of an opening tag, after its name: attributes as name="value" (or 'value')
        // and then "/>" or ">". The parser reads the rest of a tag of any other shape as
        // text, and so would see elements where this sees none.
        auto skipAttributes = [&] (bool& isEmpty)
        {
            for (;;)
            {
                skipSpace();
                isEmpty = at ("/>");

                if (isEmpty || at (">"))
                {
                    pos += isEmpty ? 2 : 1;
                    return true;
                }

                if (skipName().empty())
                    return false;

                skipSpace();

                if (! at ("="))
                    return false;

                ++pos;
                skipSpace();

                if (! at ("\"") && ! at ("'"))
                    return false;

                const auto quote = text[pos];

                for (++pos; pos < text.size() && text[pos] != quote; ++pos)
                {
                    // Never a '<' in a value, though the parser would take it: the program
                    // writes none there.
                    if (text[pos] == '<' || (text[pos] == '&' && ! isWellFormedReference (text, pos)))
                        return false;
                }

                if (pos >= text.size())
                    return false;

                ++pos;
            }
        };

        // The declaration: the parser skips it (as any instruction) to the first "?>" after its "<?".
        skipSpace();

        if (at ("<?xml") && ! skipPast (pos + 2, "?>"))
            return false;

        int depth = 0;

        for (;;)
        {
            if (! skipSpaceAndComments())
                return false;

            // The end while an element is open, text before the element, "<!DOCTYPE", "<?",
            // "</" outside any element: the parser fails or reads no element.
            if (pos >= text.size() || (depth == 0 && ! at ("<")))
                return false;

            if (depth > 0 && at ("</"))
            {
                if (! skipPast (pos, ">"))
                    return false;

                if (--depth == 0)
                    break;
            }
            else if (depth > 0 && at ("<![CDATA["))
            {
                if (! skipPast (pos + 9, "]]>"))
                    return false;
            }
            else if (at ("<"))
            {
                ++pos;
                const auto name = skipName();
                bool isEmpty = false;

                if (name.empty() || ! skipAttributes (isEmpty))
                    return false;

                names.push_back (name);

                if (isEmpty && depth == 0)
                    break;

                if (! isEmpty && ++depth > XmlFiles::maxDepth)
                    return false;
            }
            else
            {
                // Text, up to the next '<': the parser skips a comment there as here.
                for (; pos < text.size() && text[pos] != '<'; ++pos)
                    if (text[pos] == '&' && ! isWellFormedReference (text, pos))
                        return false;
            }
        }

        if (! skipSpaceAndComments())
            return false;

        return pos == text.size();
    }

    enum class ReadResult
    {
        missing,
        read,
        failed
    };

    /** Reads a whole regular file. A FIFO, a device or a folder is a failure decided without
        waiting on it; so is anything larger than the program would ever write. */
    ReadResult readBytes (const juce::File& file, juce::MemoryBlock& bytes)
    {
        const auto path = file.getFullPathName();
        struct stat info = {};

        if (path.isEmpty() || ::stat (path.toRawUTF8(), &info) != 0)
            return (errno == ENOENT || errno == ENOTDIR || path.isEmpty()) ? ReadResult::missing : ReadResult::failed;

        if (! S_ISREG (info.st_mode) || info.st_size > XmlFiles::maxDocumentBytes)
            return ReadResult::failed;

        // Non-blocking, and checked again once open: the file may have been swapped meanwhile.
        const int fd = ::open (path.toRawUTF8(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);

        if (fd < 0)
            return ReadResult::failed;

        auto result = ReadResult::failed;

        if (::fstat (fd, &info) == 0 && S_ISREG (info.st_mode) && info.st_size <= XmlFiles::maxDocumentBytes)
        {
            bytes.setSize ((size_t) info.st_size);
            size_t done = 0;
            result = ReadResult::read;

            for (;;)
            {
                if (done == bytes.getSize())
                {
                    // A file that grows while it is read is read on, within the bound.
                    if ((juce::int64) done >= XmlFiles::maxDocumentBytes)
                        break;

                    bytes.setSize (done + 65536);
                }

                const auto n = ::read (fd, static_cast<char*> (bytes.getData()) + done, bytes.getSize() - done);

                if (n < 0 && errno == EINTR)
                    continue;

                if (n < 0)
                {
                    result = ReadResult::failed;
                    break;
                }

                if (n == 0)
                    break;

                done += (size_t) n;
            }

            bytes.setSize (done);

            if ((juce::int64) done > XmlFiles::maxDocumentBytes)
                result = ReadResult::failed;
        }

        ::close (fd);
        return result;
    }

    std::unique_ptr<juce::XmlElement> parseBytes (const juce::MemoryBlock& bytes)
    {
        std::string_view text (static_cast<const char*> (bytes.getData()), bytes.getSize());

        // Many editors start a UTF-8 file with a byte-order mark.
        if (text.substr (0, 3) == "\xef\xbb\xbf")
            text.remove_prefix (3);

        std::vector<std::string_view> names;

        if (text.empty() || ! isPlainXml (text, names))
            return nullptr;

        // JUCE keeps element names in a sorted pool, where each new name is inserted in
        // place: the data file's names are all different, so taken in file order that
        // costs time growing with the square of their number. Taken in sorted order, each
        // one goes at the end. They are held here until the parsed elements hold them.
        std::sort (names.begin(), names.end());
        names.erase (std::unique (names.begin(), names.end()), names.end());
        std::vector<juce::String> pooled;
        pooled.reserve (names.size());

        for (auto name : names)
            pooled.push_back (juce::StringPool::getGlobalPool().getPooledString (
                juce::String::fromUTF8 (name.data(), (int) name.size())));

        // A document made from text has no source to fetch external entities from.
        return juce::XmlDocument (juce::String::fromUTF8 (text.data(), (int) text.size())).getDocumentElement();
    }

    thread_local juce::String lastWriteError;

    /** Takes an exclusive flock on the open file, trying again until `seconds` have passed. */
    bool lockWithin (int fd, double seconds)
    {
        const auto end = juce::Time::getMillisecondCounterHiRes() + seconds * 1000.0;

        while (::flock (fd, LOCK_EX | LOCK_NB) != 0)
        {
            if ((errno != EWOULDBLOCK && errno != EINTR) || juce::Time::getMillisecondCounterHiRes() > end)
                return false;

            juce::Thread::sleep (5);
        }

        return true;
    }

    /** True while `path` still names the file open on `fd`. */
    bool namesOpenFile (const char* path, int fd)
    {
        struct stat opened = {};
        struct stat named = {};
        return ::fstat (fd, &opened) == 0 && ::lstat (path, &named) == 0 && opened.st_dev == named.st_dev
            && opened.st_ino == named.st_ino;
    }

    /** The file a path leads to through any symbolic links, itself when it is none. A link
        to a file that doesn't exist yet leads to where that file would be. */
    std::filesystem::path finalTarget (const juce::File& file)
    {
        std::filesystem::path path (file.getFullPathName().toStdString());
        std::error_code error;

        for (int hops = 0; hops < 40 && std::filesystem::is_symlink (path, error); ++hops)
        {
            const auto target = std::filesystem::read_symlink (path, error);

            if (error)
                break;

            path = target.is_absolute() ? target : path.parent_path() / target;
        }

        return path;
    }

    /** Opens a temporary file for writing, empty and locked for as long as it stays open:
        the start-up cleanup of another copy removes only temporary files it can lock. One
        that a cleanup removed (or a writer renamed away) before the lock came is not used:
        another is made under the same name. -1 when that fails, with errno set. */
    int openTemporaryFile (const char* path)
    {
        for (int attempt = 0; attempt < 100; ++attempt)
        {
            const int fd = ::open (path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);

            if (fd < 0)
                return -1;

            if (! lockWithin (fd, XmlFiles::lockWaitSeconds))
            {
                ::close (fd);
                errno = EWOULDBLOCK;
                return -1;
            }

            if (namesOpenFile (path, fd))
            {
                if (::ftruncate (fd, 0) == 0)
                    return fd;

                const int error = errno;
                ::close (fd);
                errno = error;
                return -1;
            }

            ::close (fd);
        }

        errno = EAGAIN;
        return -1;
    }

    /** Writes the bytes to a temporary file beside the file (or the final target of the
        link it is), then renames it over that; a failure at any step leaves the file as it
        was. The temporary file stays locked until it has been renamed or removed. */
    bool writeBytes (const juce::File& file, const void* data, size_t size)
    {
        const auto target = finalTarget (file).string();
        const auto temp = target + ".tmp-" + std::to_string (::getpid());
        const int fd = openTemporaryFile (temp.c_str());

        auto fail = [&] (const char* step)
        {
            lastWriteError = juce::String (step) + ": " + juce::String (std::strerror (errno));

            if (fd >= 0)
            {
                ::unlink (temp.c_str());
                ::close (fd);
            }

            return false;
        };

        if (fd < 0)
            return fail ("can't create a file there");

        for (size_t done = 0; done < size;)
        {
            const auto n = ::write (fd, static_cast<const char*> (data) + done, size - done);

            if (n < 0 && errno == EINTR)
                continue;

            if (n <= 0)
            {
                if (n == 0)
                    errno = ENOSPC;

                return fail ("writing failed");
            }

            done += (size_t) n;
        }

        if (::fsync (fd) != 0)
            return fail ("writing failed");

        if (::rename (temp.c_str(), target.c_str()) != 0)
            return fail ("can't replace the file");

        ::close (fd);
        lastWriteError.clear();
        return true;
    }

    /** Copies a damaged file's bytes to "<name>.bak"; true only once the copy reads back whole. */
    bool writeBackup (const juce::File& file, const juce::MemoryBlock& bytes)
    {
        const auto backup = file.getSiblingFile (file.getFileName() + ".bak");
        juce::MemoryBlock check;

        return writeBytes (backup, bytes.getData(), bytes.getSize()) && readBytes (backup, check) == ReadResult::read
            && check == bytes;
    }

    bool isHexNumber (const juce::String& text)
    {
        return text.isNotEmpty() && text.containsOnly ("0123456789abcdefABCDEF");
    }

    /** The names of the temporary files of the data files and their copies: ours,
        "<name>.tmp-<pid>", and those of earlier versions, made by JUCE's temporary files:
        "data_temp<hex>.xml", "midi_temp<hex>.map", "_temp<hex>.config". */
    bool isTemporaryDataFileName (const juce::String& name)
    {
        for (auto* dataFile : { "data.xml", "midi.map", ".config", "data.xml.bak", "midi.map.bak", ".config.bak" })
        {
            const auto prefix = juce::String (dataFile) + ".tmp-";

            if (name.startsWith (prefix) && name.length() > prefix.length()
                && name.substring (prefix.length()).containsOnly ("0123456789"))
                return true;
        }

        const std::pair<juce::String, juce::String> earlier[] { { "data_temp", ".xml" },
                                                                { "midi_temp", ".map" },
                                                                { "_temp", ".config" } };

        for (const auto& [prefix, suffix] : earlier)
        {
            const auto middle = name.substring (prefix.length(), name.length() - suffix.length());

            if (name.startsWith (prefix) && name.endsWith (suffix) && isHexNumber (middle))
                return true;
        }

        return false;
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

bool XmlFiles::isPlainXml (std::string_view text)
{
    std::vector<std::string_view> names;
    return ::isPlainXml (text, names);
}

std::unique_ptr<juce::XmlElement> XmlFiles::parseFile (const juce::File& file)
{
    juce::MemoryBlock bytes;

    if (readBytes (file, bytes) != ReadResult::read)
        return nullptr;

    return parseBytes (bytes);
}

XmlFiles::Document XmlFiles::readDocument (const juce::File& file)
{
    Document document;
    document.identity = identityOf (file);
    juce::MemoryBlock bytes;

    switch (readBytes (file, bytes))
    {
        case ReadResult::missing: return document;
        case ReadResult::failed: document.mayReplace = false; return document;
        case ReadResult::read: break;
    }

    if (bytes.isEmpty())
        return document;

    document.root = parseBytes (bytes);

    if (document.root == nullptr)
        document.mayReplace = writeBackup (file, bytes);

    return document;
}

juce::String XmlFiles::identityOf (const juce::File& file)
{
    struct stat info = {};

    if (::stat (file.getFullPathName().toRawUTF8(), &info) != 0)
        return {};

    return juce::String ((juce::int64) info.st_ino) + ":" + juce::String ((juce::int64) info.st_size) + ":"
         + juce::String ((juce::int64) info.st_mtim.tv_sec) + "." + juce::String ((juce::int64) info.st_mtim.tv_nsec);
}

bool XmlFiles::writeDocument (const juce::XmlElement& root, const juce::File& file)
{
    juce::XmlElement::TextFormat format;
    format.customEncoding = "UTF-8";
    format.lineWrapLength = 60;

    juce::MemoryOutputStream out;
    root.writeTo (out, format);

    if ((juce::int64) out.getDataSize() > maxDocumentBytes)
    {
        lastWriteError = "the document is too large";
        return false;
    }

    return writeBytes (file, out.getData(), out.getDataSize());
}

juce::String XmlFiles::getLastWriteError()
{
    return lastWriteError;
}

void XmlFiles::tellNotKept (const juce::String& what, const juce::File& file)
{
    std::cerr << "Velorin: " << what << " not kept: " << file.getFullPathName() << " could not be written ("
              << getLastWriteError() << ")" << std::endl;
}

XmlFiles::WriteLock::WriteLock()
{
    const auto path = getDataFile (".lock").getFullPathName();
    fd = ::open (path.toRawUTF8(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);

    // A lock file made by someone else may be only readable: a shared or exclusive flock
    // needs no more.
    if (fd < 0 && errno == EACCES)
        fd = ::open (path.toRawUTF8(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);

    if (fd < 0)
    {
        lastWriteError = "can't open the lock file " + path + ": " + juce::String (std::strerror (errno));
        return;
    }

    if (! lockWithin (fd, lockWaitSeconds))
    {
        lastWriteError = "another copy of the program held the lock file " + path + " for "
                       + juce::String ((int) lockWaitSeconds) + " seconds";
        ::close (fd);
        fd = -1;
    }
}

XmlFiles::WriteLock::~WriteLock()
{
    if (fd >= 0)
        ::close (fd);
}

juce::String XmlFiles::prepareDataFolder()
{
    const auto path = getDataFolder().getFullPathName().toStdString();
    std::error_code error;
    std::filesystem::create_directories (path, error);
    struct stat info = {};

    if (::stat (path.c_str(), &info) != 0)
        return error ? juce::String (error.message()) : juce::String (std::strerror (errno));

    if (! S_ISDIR (info.st_mode))
        return TRANS ("it is a file, not a folder");

    // Whoever the program runs as (its effective user) must be able to make files there.
    if (::faccessat (AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return std::strerror (errno);

    return {};
}

void XmlFiles::removeLeftovers (const juce::File& folder)
{
    // A writer holds a lock on its temporary file until it has renamed it: whoever holds
    // one, in whatever PID namespace, is still writing it.
    for (const auto& entry : juce::RangedDirectoryIterator (folder, false, "*", juce::File::findFiles))
    {
        if (! isTemporaryDataFileName (entry.getFile().getFileName()))
            continue;

        const auto path = entry.getFile().getFullPathName();
        const int fd = ::open (path.toRawUTF8(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);

        if (fd < 0)
            continue;

        if (::flock (fd, LOCK_EX | LOCK_NB) == 0 && namesOpenFile (path.toRawUTF8(), fd))
            ::unlink (path.toRawUTF8());

        ::close (fd);
    }
}

bool XmlFiles::isRegularFile (const juce::File& file)
{
    struct stat info = {};
    return ::stat (file.getFullPathName().toRawUTF8(), &info) == 0 && S_ISREG (info.st_mode);
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
