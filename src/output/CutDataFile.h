#pragma once

#include "FileResult.h"
#include "TextLines.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

// One cutting-data file in memory: the whole contents followed by one NUL byte, and the index
// of its lines. A line ends at CR LF, a lone CR or a lone LF; the index stops at the first NUL
// byte of the data. Sizes and offsets are 64-bit, so files of any size the memory can hold load
// and index correctly.
//
// The contents and the index form a read-only image that every holder of the same file shares:
// the preview, the test cut, the toolpath window and the travel check each hold a
// CCutDataFile, and a file whose size and modification time are unchanged is in memory once
// however many of them look at it. The image goes when its last holder lets go.
//
// A file's image maps the file's pages in the system's cache read-only instead of copying
// them, so loading costs about as much as reading the file once. Another program may cut the
// file short while it is mapped, which the system reports by a bus error on the next access;
// the image catches that error and reads the lost part as NUL bytes, so that the panel never
// stops on it, and Changed() tells.
//
// The index keeps the start of every IndexStride-th line only and finds the lines between by
// scanning forward from the nearest kept start. This keeps the index of a file of short lines
// at a small fraction of the file's size (a full index of 8-byte offsets would add 40 % to a
// file of 20-byte lines); a lookup scans at most IndexStride - 1 lines.
class CCutDataFile : public CTextLines
{
public:
    static constexpr int64_t CapacityStep = 4096;
    static constexpr int64_t IndexStride = 64;

    // The capacity of the buffer for a file of length bytes: the smallest multiple of 4096
    // greater than the length (it leaves room for the NUL after the data).
    static constexpr int64_t CapacityFor(int64_t length)
    {
        return (length / CapacityStep + 1) * CapacityStep;
    }

    CCutDataFile() = default;
    CCutDataFile(const CCutDataFile&) = delete;
    CCutDataFile& operator=(const CCutDataFile&) = delete;

    // Takes the file's shared image when one of the same file, size and modification time is
    // held, else reads the whole file and indexes its lines. A failure to open or read the
    // file, or a lack of memory for it (a Read failure with ENOMEM), leaves the image of an
    // empty file whose display name says so.
    CFileResult Load(const QByteArray& path);
    // Indexes data given in memory as if it had been read from a file (for the tests and the
    // benchmark). This image is the holder's own.
    bool LoadFromMemory(const QByteArray& path, std::string_view data);

    // Lets go of the image; the holder then shows an empty file without a path.
    void Release();

    const QByteArray& GetPath() const { return m_path; }
    // The file's name as shown, with " [changed]" once the file has changed under its image.
    QString GetDisplayName() const;
    int64_t GetLength() const;
    int64_t GetCapacity() const;

    int64_t LineCount() const override;
    // The offset of the line's first byte; -1 beyond the last line.
    int64_t LineStart(int64_t index) const;
    // The line's bytes, terminator included; empty beyond the last line.
    std::string_view LineText(int64_t index) const override;
    // The line's length with its terminator; -1 beyond the last line.
    int64_t LineLength(int64_t index) const;
    // NC code: the first line that does not begin with CR, LF or NUL begins with '%' or '('.
    bool IsNcCode() const;

    // Whether the file has changed under its image since it was loaded: another program cut it
    // short, rewrote it, gave it a new size or modification time, or removed it (its change
    // time tells what the size and modification time may not). The image maps the file's
    // pages, so its bytes may then mix old and new contents (bytes cut off read as NUL); a
    // holder shows it again from a new Load. Data given in memory never changes.
    bool Changed() const override;

    // Whether this holder shares its image with another.
    bool IsShared() const { return m_image && m_image.use_count() > 1; }
    // How many images of files and data exist in this process.
    static int64_t ImageCount();
    // The image this holder shows, to tell whether two holders show the same one; it does not
    // keep the image.
    std::weak_ptr<const void> ImageIdentity() const { return m_image; }

    struct Image;

private:
    QByteArray m_path;
    QString m_displayName;
    std::shared_ptr<Image> m_image;
};
