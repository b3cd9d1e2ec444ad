#include "CutDataFile.h"

#include "FileReader.h"
#include "NcCodeTest.h"
#include "StringIds.h"
#include "StringTable.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/mman.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

QString FileNamePart(const QByteArray& path)
{
    return QFile::decodeName(path.mid(path.lastIndexOf('/') + 1));
}

#ifdef __SSE2__
// One bit per byte of the 64 bytes at data that equal c.
inline uint64_t ByteMask(const char* data, char c)
{
    const __m128i wanted = _mm_set1_epi8(c);
    uint64_t mask = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i));
        mask |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)))) << (16 * i);
    }
    return mask;
}
#endif

} // namespace

void CCutDataFile::Reset(const QByteArray& path)
{
    m_path = path;
    m_displayName.clear();
    m_length = 0;
    m_indexEnd = 0;
    m_lineCount = 0;
    m_strideStarts.clear();
}

void CCutDataFile::Release()
{
    Reset({});
    m_data.reset();
    m_capacity = 0;
}

void CCutDataFile::FreeBuffer::operator()(char* data) const
{
    ::munmap(data, size);
}

bool CCutDataFile::Reserve(int64_t length)
{
    if (length < m_capacity)
        return true;
    m_data.reset();
    m_capacity = 0;
    const int64_t capacity = CapacityFor(length);
    if (capacity <= 0 || uint64_t(capacity) > SIZE_MAX)
        return false;
    // Anonymous memory in large pages where the system offers them: a file of gigabytes then
    // costs a few thousand page faults instead of hundreds of thousands.
    void* data = ::mmap(nullptr, size_t(capacity), PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (data == MAP_FAILED)
        return false;
    ::madvise(data, size_t(capacity), MADV_HUGEPAGE);
    m_data =
        std::unique_ptr<char, FreeBuffer>(static_cast<char*>(data), FreeBuffer{size_t(capacity)});
    m_capacity = capacity;
    return true;
}

CFileResult CCutDataFile::Load(const QByteArray& path)
{
    Reset(path);
    const QString shown = QFile::decodeName(path);
    CFileReader reader;
    if (const int error = reader.Open(path); error != 0) {
        m_displayName = shown + LoadString(Str::ErrorSuffix);
        return CFileResult::Failed(CFileResult::Failure::Open, shown, error);
    }
    m_displayName = FileNamePart(path);
    const int64_t length = reader.GetSize();
    int error = Reserve(length) ? 0 : ENOMEM;
    // Each piece is indexed while it is still in the processor's cache. The last byte read
    // waits for the next piece, as a CR there may be followed by an LF.
    constexpr int64_t Piece = 1 << 20;
    StartIndex();
    if (error == 0)
        m_data.get()[length] = '\0';
    for (int64_t done = 0; error == 0 && done < length;) {
        const int64_t piece = std::min(Piece, length - done);
        error = reader.ReadExactly(m_data.get() + done, piece);
        done += piece;
        if (error == 0)
            IndexUpTo(done == length ? done : done - 1);
    }
    if (error != 0) {
        Reset(path);
        m_displayName = FileNamePart(path) + LoadString(Str::ErrorSuffix);
        return CFileResult::Failed(CFileResult::Failure::Read, shown, error);
    }
    FinishIndex(length);
    return {};
}

bool CCutDataFile::LoadFromMemory(const QByteArray& path, std::string_view data)
{
    Reset(path);
    m_displayName = FileNamePart(path);
    if (!Reserve(int64_t(data.size())))
        return false;
    std::memcpy(m_data.get(), data.data(), data.size());
    m_data.get()[data.size()] = '\0';
    StartIndex();
    IndexUpTo(int64_t(data.size()));
    FinishIndex(int64_t(data.size()));
    return true;
}

void CCutDataFile::StartIndex()
{
    m_indexed = 0;
    m_indexStopped = false;
    m_lineCount = 1;
    m_strideStarts.assign(1, 0);
}

void CCutDataFile::FinishIndex(int64_t length)
{
    m_length = length;
    if (!m_indexStopped)
        m_indexEnd = length;
    if (length == 0) {
        m_displayName += LoadString(Str::NullSuffix);
        m_lineCount = 0;
        m_strideStarts.clear();
    }
}

void CCutDataFile::IndexUpTo(int64_t end)
{
    if (m_indexStopped || end <= m_indexed)
        return;
    const char* data = m_data.get();
    // The index ends at the first NUL of the data.
    if (const void* nul = std::memchr(data + m_indexed, '\0', size_t(end - m_indexed))) {
        end = static_cast<const char*>(nul) - data;
        m_indexStopped = true;
        m_indexEnd = end;
    }
    int64_t lines = m_lineCount;
    const auto record = [&](int64_t start) {
        if (lines % IndexStride == 0)
            m_strideStarts.push_back(start);
        ++lines;
    };

    // A line ends after every LF, and after every CR that no LF follows. The byte at end has
    // been read (or is the NUL after the data), so looking one byte ahead stays in the buffer.
    int64_t pos = m_indexed;
#ifdef __SSE2__
    for (; pos + 64 < end; pos += 64) {
        const uint64_t lf = ByteMask(data + pos, '\n');
        const uint64_t cr = ByteMask(data + pos, '\r');
        const uint64_t lfNext = (lf >> 1) | (uint64_t(data[pos + 64] == '\n') << 63);
        uint64_t ends = lf | (cr & ~lfNext);
        if (ends == 0)
            continue;
        const int64_t count = __builtin_popcountll(ends);
        const int64_t untilKept = (IndexStride - lines % IndexStride) % IndexStride;
        if (untilKept >= count) {
            lines += count;
            continue;
        }
        for (; ends != 0; ends &= ends - 1)
            record(pos + __builtin_ctzll(ends) + 1);
    }
#endif
    for (; pos < end; ++pos) {
        const char c = data[pos];
        if (c == '\n' || (c == '\r' && data[pos + 1] != '\n'))
            record(pos + 1);
    }
    m_lineCount = lines;
    m_indexed = end;
}

int64_t CCutDataFile::NextLineStart(int64_t start) const
{
    const char* data = m_data.get();
    for (int64_t pos = start; pos < m_indexEnd; ++pos) {
        if (data[pos] == '\n')
            return pos + 1;
        if (data[pos] == '\r')
            return data[pos + 1] == '\n' ? pos + 2 : pos + 1;
    }
    return m_indexEnd;
}

int64_t CCutDataFile::LineStart(int64_t index) const
{
    if (index < 0 || index >= m_lineCount)
        return -1;
    int64_t start = m_strideStarts[size_t(index / IndexStride)];
    for (int64_t skip = index % IndexStride; skip > 0; --skip)
        start = NextLineStart(start);
    return start;
}

int64_t CCutDataFile::LineEnd(int64_t index, int64_t start) const
{
    // The last line runs to the end of the data, past a NUL that ended the index.
    return index + 1 < m_lineCount ? NextLineStart(start) : m_length;
}

int64_t CCutDataFile::LineLength(int64_t index) const
{
    const int64_t start = LineStart(index);
    return start < 0 ? -1 : LineEnd(index, start) - start;
}

std::string_view CCutDataFile::LineText(int64_t index) const
{
    const int64_t start = LineStart(index);
    if (start < 0)
        return {};
    return {m_data.get() + start, size_t(LineEnd(index, start) - start)};
}

bool CCutDataFile::IsNcCode() const
{
    return m_lineCount > 0 && ::IsNcCode(m_data.get(), size_t(m_length));
}
