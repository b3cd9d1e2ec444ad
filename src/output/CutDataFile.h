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

    // Reads the whole file and indexes its lines. A failure to open or read the file, or a lack
    // of memory for it (a Read failure with ENOMEM), leaves the image of an empty file whose
    // display name says so.
    CFileResult Load(const QByteArray& path);
    // Indexes data given in memory as if it had been read from a file (for the tests and the
    // benchmark).
    bool LoadFromMemory(const QByteArray& path, std::string_view data);

    // Gives the buffer back; the image is then that of an empty file without a path.
    void Release();

    const QByteArray& GetPath() const { return m_path; }
    const QString& GetDisplayName() const { return m_displayName; }
    int64_t GetLength() const { return m_length; }
    int64_t GetCapacity() const { return m_capacity; }

    int64_t LineCount() const override { return m_lineCount; }
    // The offset of the line's first byte; -1 beyond the last line.
    int64_t LineStart(int64_t index) const;
    // The line's bytes, terminator included; empty beyond the last line.
    std::string_view LineText(int64_t index) const override;
    // The line's length with its terminator; -1 beyond the last line.
    int64_t LineLength(int64_t index) const;
    // NC code: the first line that does not begin with CR, LF or NUL begins with '%' or '('.
    bool IsNcCode() const;

private:
    // The buffer is anonymous mapped memory, given back with munmap.
    struct FreeBuffer
    {
        size_t size;
        void operator()(char* data) const;
    };

    void Reset(const QByteArray& path);
    bool Reserve(int64_t length);
    // The index is built piece by piece as the data comes in: StartIndex, IndexUpTo for each
    // piece, FinishIndex with the file's length.
    void StartIndex();
    void IndexUpTo(int64_t end);
    void FinishIndex(int64_t length);
    // The offset just after the terminator of the line that starts at start.
    int64_t NextLineStart(int64_t start) const;
    // The offset just after line index, which starts at start.
    int64_t LineEnd(int64_t index, int64_t start) const;

    QByteArray m_path;
    QString m_displayName;
    std::unique_ptr<char, FreeBuffer> m_data;
    int64_t m_capacity = 0;
    int64_t m_length = 0;
    // Where the index ends: the first NUL of the data, or the length.
    int64_t m_indexEnd = 0;
    int64_t m_lineCount = 0;
    // How far the index has got, and whether it met a NUL.
    int64_t m_indexed = 0;
    bool m_indexStopped = false;
    // The start of lines 0, IndexStride, 2 * IndexStride, ...
    std::vector<int64_t> m_strideStarts;
};
