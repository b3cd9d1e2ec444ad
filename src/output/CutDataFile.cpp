#include "CutDataFile.h"

#include "FileErrorMessage.h"
#include "FileReader.h"
#include "StringTable.h"

#include <QFile>

#include <cstring>
#include <new>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

namespace Str {
constexpr int NullSuffix = 50030;
constexpr int ErrorSuffix = 50031;
} // namespace Str

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

bool CCutDataFile::Reserve(int64_t length)
{
    if (length < m_capacity)
        return true;
    m_data.reset();
    m_capacity = 0;
    const int64_t capacity = CapacityFor(length);
    if (capacity <= 0 || uint64_t(capacity) > SIZE_MAX)
        return false;
    m_data.reset(new (std::nothrow) char[size_t(capacity)]);
    if (!m_data)
        return false;
    m_capacity = capacity;
    return true;
}

bool CCutDataFile::Load(const QByteArray& path, QWidget* parent)
{
    Reset(path);
    const QString shown = QFile::decodeName(path);
    CFileReader reader;
    if (const int error = reader.Open(path); error != 0) {
        ShowFileError(parent, error, shown, FileOperation::Open);
        m_displayName = shown + LoadString(Str::ErrorSuffix);
        return false;
    }
    m_displayName = FileNamePart(path);
    const int64_t length = reader.GetSize();
    int error = Reserve(length) ? reader.ReadExactly(m_data.get(), length) : ENOMEM;
    if (error != 0) {
        ShowFileError(parent, error, shown, FileOperation::Read);
        m_displayName += LoadString(Str::ErrorSuffix);
        return false;
    }
    m_length = length;
    m_data[size_t(length)] = '\0';
    if (length == 0) {
        m_displayName += LoadString(Str::NullSuffix);
        return true;
    }
    BuildIndex();
    return true;
}

bool CCutDataFile::LoadFromMemory(const QByteArray& path, std::string_view data)
{
    Reset(path);
    m_displayName = FileNamePart(path);
    if (!Reserve(int64_t(data.size())))
        return false;
    std::memcpy(m_data.get(), data.data(), data.size());
    m_length = int64_t(data.size());
    m_data[data.size()] = '\0';
    if (m_length == 0)
        m_displayName += LoadString(Str::NullSuffix);
    else
        BuildIndex();
    return true;
}

void CCutDataFile::BuildIndex()
{
    const char* data = m_data.get();
    const void* nul = std::memchr(data, '\0', size_t(m_length));
    m_indexEnd = nul ? static_cast<const char*>(nul) - data : m_length;
    m_strideStarts.assign(1, 0);
    int64_t lines = 1;
    const auto record = [&](int64_t start) {
        if (lines % IndexStride == 0)
            m_strideStarts.push_back(start);
        ++lines;
    };

    // A line ends after every LF, and after every CR that no LF follows. The byte after the
    // indexed part is a NUL, so looking one byte ahead never leaves the buffer.
    int64_t pos = 0;
#ifdef __SSE2__
    for (; pos + 64 < m_indexEnd; pos += 64) {
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
    for (; pos < m_indexEnd; ++pos) {
        const char c = data[pos];
        if (c == '\n' || (c == '\r' && data[pos + 1] != '\n'))
            record(pos + 1);
    }
    m_lineCount = lines;
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
    const char* data = m_data.get();
    int64_t start = 0;
    for (int64_t line = 0; line < m_lineCount; ++line) {
        const char first = data[start];
        if (first != '\r' && first != '\n' && first != '\0')
            return first == '%' || first == '(';
        start = NextLineStart(start);
    }
    return false;
}
