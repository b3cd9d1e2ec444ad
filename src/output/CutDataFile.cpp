#include "CutDataFile.h"

#include "FileReader.h"
#include "NcCodeTest.h"
#include "StringIds.h"
#include "StringTable.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// How far ahead of the line index's scan the memory is asked for.
constexpr int64_t PrefetchDistance = 4096;

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

// What tells one version of a file from another: the file itself, its size and its
// modification time.
struct FileVersion
{
    dev_t device = 0;
    ino_t inode = 0;
    int64_t size = -1;
    timespec modified{};

    static FileVersion Of(const struct stat& info)
    {
        return {info.st_dev, info.st_ino, int64_t(info.st_size), info.st_mtim};
    }
    bool operator==(const FileVersion& other) const
    {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec;
    }
};

std::atomic<int64_t> g_imageCount{0};

// The address ranges of the mapped file images, for the bus-error handler: a file cut short
// under its mapping raises SIGBUS on the first access to a page past its new end, in whichever
// thread reads it (the user-interface thread or a reader working on the image). The handler
// reads only these atomics.
struct MappedRange
{
    std::atomic<uintptr_t> begin{0};
    std::atomic<uintptr_t> end{0};
    std::atomic<bool> lost{false};
};
constexpr int MappedRangeCount = 256;
MappedRange g_mapped[MappedRangeCount];
uintptr_t g_pageSize = 4096;
struct sigaction g_previousBusHandler
{
};

void OnBusError(int signal, siginfo_t* info, void* context)
{
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    for (MappedRange& range : g_mapped) {
        const uintptr_t begin = range.begin.load(std::memory_order_acquire);
        const uintptr_t end = range.end.load(std::memory_order_acquire);
        if (begin == 0 || address < begin || address >= end)
            continue;
        // From the faulting page to the end of the image the mapping becomes zero-filled
        // memory: the access is made again on return and reads NUL, and so does every later
        // access to what was cut off. The system call directly, as it is safe in a handler.
        const uintptr_t page = address & ~(g_pageSize - 1);
        ::syscall(SYS_mmap, page, end - page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED,
                  -1, 0);
        range.lost.store(true, std::memory_order_release);
        return;
    }
    // Not an image's: whatever handled the signal before handles it, and the default action
    // takes place when the access is made again.
    if (g_previousBusHandler.sa_flags & SA_SIGINFO) {
        g_previousBusHandler.sa_sigaction(signal, info, context);
        return;
    }
    if (g_previousBusHandler.sa_handler != SIG_DFL && g_previousBusHandler.sa_handler != SIG_IGN) {
        g_previousBusHandler.sa_handler(signal);
        return;
    }
    struct sigaction fallback
    {
    };
    fallback.sa_handler = SIG_DFL;
    ::sigaction(SIGBUS, &fallback, nullptr);
}

void InstallBusErrorHandler()
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        g_pageSize = uintptr_t(::sysconf(_SC_PAGESIZE));
        struct sigaction action
        {
        };
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &g_previousBusHandler);
    });
}

// A free range for [begin, end), or -1 when all are taken.
int RegisterMapping(const char* begin, const char* end)
{
    InstallBusErrorHandler();
    for (int slot = 0; slot < MappedRangeCount; ++slot) {
        uintptr_t free = 0;
        if (g_mapped[slot].begin.compare_exchange_strong(free, uintptr_t(1))) {
            g_mapped[slot].lost.store(false);
            g_mapped[slot].end.store(reinterpret_cast<uintptr_t>(end), std::memory_order_release);
            g_mapped[slot].begin.store(reinterpret_cast<uintptr_t>(begin),
                                       std::memory_order_release);
            return slot;
        }
    }
    return -1;
}

void UnregisterMapping(int slot)
{
    g_mapped[slot].end.store(0, std::memory_order_release);
    g_mapped[slot].begin.store(0, std::memory_order_release);
}

} // namespace

struct CCutDataFile::Image
{
    Image() { ++g_imageCount; }
    ~Image()
    {
        // The range is free only after the mapping has gone with the buffer below; until then
        // it stays marked taken but matches no address.
        if (slot >= 0)
            g_mapped[slot].end.store(0, std::memory_order_release);
        if (fd >= 0)
            ::close(fd);
        data.reset();
        if (slot >= 0)
            UnregisterMapping(slot);
        --g_imageCount;
    }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    // The buffer is anonymous mapped memory, given back with munmap.
    struct FreeBuffer
    {
        size_t size;
        void operator()(char* data) const { ::munmap(data, size); }
    };

    bool Reserve(int64_t length);
    // Maps the file read-only, followed by zero-filled memory up to the capacity (so that a NUL
    // follows the data); false when it cannot be mapped, and the file is then read.
    bool Map(CFileReader& reader, int64_t length);
    bool Lost() const { return slot >= 0 && g_mapped[slot].lost.load(std::memory_order_acquire); }
    // The index is built piece by piece as the data comes in: StartIndex, IndexUpTo for each
    // piece, FinishIndex with the file's length.
    void StartIndex();
    void IndexUpTo(int64_t end);
    // The index ends at nul, the first NUL of the data; end, where indexing was to stop,
    // becomes nul.
    void StopAt(int64_t nul, int64_t& end)
    {
        indexStopped = true;
        indexEnd = end = nul;
    }
    void FinishIndex(int64_t length);
    // The offset just after the terminator of the line that starts at start.
    int64_t NextLineStart(int64_t start) const;
    int64_t LineStart(int64_t index) const;
    // The offset just after line index, which starts at start.
    int64_t LineEnd(int64_t index, int64_t start) const;
    bool Changed() const;

    // The file this image was read from; none for data given in memory.
    bool fromFile = false;
    FileVersion version;
    // The change time when loaded: a rewrite that kept the size and set the modification time
    // back still shows here.
    timespec changed{};
    // The open file, asked whether it has changed; -1 for a read image.
    int fd = -1;
    // The bus-error range of a mapped image, -1 for memory of its own.
    int slot = -1;

    std::unique_ptr<char, FreeBuffer> data;
    int64_t capacity = 0;
    int64_t length = 0;
    // Where the index ends: the first NUL of the data, or the length.
    int64_t indexEnd = 0;
    int64_t lineCount = 0;
    // How far the index has got, and whether it met a NUL.
    int64_t indexed = 0;
    bool indexStopped = false;
    // The start of lines 0, IndexStride, 2 * IndexStride, ...
    std::vector<int64_t> strideStarts;
};

namespace {

// The images of files, by path, while someone holds them. Only the holders own an image; an
// entry whose image has gone is dropped when it is next looked at.
class CImageCache
{
public:
    std::shared_ptr<CCutDataFile::Image> Find(const QByteArray& path, const FileVersion& version)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const auto entry = m_images.find(path.toStdString());
        if (entry == m_images.end())
            return nullptr;
        std::shared_ptr<CCutDataFile::Image> image = entry->second.lock();
        if (!image) {
            m_images.erase(entry);
            return nullptr;
        }
        if (!(image->version == version) || image->Changed())
            return nullptr;
        return image;
    }

    void Keep(const QByteArray& path, const std::shared_ptr<CCutDataFile::Image>& image)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_images[path.toStdString()] = image;
        // Entries of images that have gone are dropped now and then, so the table stays small.
        for (auto entry = m_images.begin(); entry != m_images.end();)
            entry = entry->second.expired() ? m_images.erase(entry) : std::next(entry);
    }

private:
    std::mutex m_mutex;
    std::map<std::string, std::weak_ptr<CCutDataFile::Image>> m_images;
};

CImageCache& Cache()
{
    static CImageCache cache;
    return cache;
}

} // namespace

int64_t CCutDataFile::ImageCount()
{
    return g_imageCount.load();
}

void CCutDataFile::Release()
{
    m_path.clear();
    m_displayName.clear();
    m_image.reset();
}

int64_t CCutDataFile::GetLength() const
{
    return m_image ? m_image->length : 0;
}

int64_t CCutDataFile::GetCapacity() const
{
    return m_image ? m_image->capacity : 0;
}

int64_t CCutDataFile::LineCount() const
{
    return m_image ? m_image->lineCount : 0;
}

bool CCutDataFile::Image::Reserve(int64_t wanted)
{
    if (wanted < capacity)
        return true;
    data.reset();
    capacity = 0;
    const int64_t size = CapacityFor(wanted);
    if (size <= 0 || uint64_t(size) > SIZE_MAX)
        return false;
    // Anonymous memory in small pages: where the system compacts memory to find large pages on
    // a fault, asking for them made a read of gigabytes several times slower.
    void* buffer = ::mmap(nullptr, size_t(size), PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (buffer == MAP_FAILED)
        return false;
    data = std::unique_ptr<char, FreeBuffer>(static_cast<char*>(buffer), FreeBuffer{size_t(size)});
    capacity = size;
    return true;
}

bool CCutDataFile::Image::Map(CFileReader& reader, int64_t size)
{
    const int64_t reserved = CapacityFor(size);
    if (size <= 0 || uint64_t(reserved) > SIZE_MAX)
        return false;
    void* region = ::mmap(nullptr, size_t(reserved), PROT_READ,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (region == MAP_FAILED)
        return false;
    data =
        std::unique_ptr<char, FreeBuffer>(static_cast<char*>(region), FreeBuffer{size_t(reserved)});
    capacity = reserved;
    // A private mapping, so that nothing here can ever write to the file. The range is known
    // to the bus-error handler before the first page is read.
    if (::mmap(region, size_t(size), PROT_READ, MAP_PRIVATE | MAP_FIXED, reader.Descriptor(), 0) ==
            MAP_FAILED ||
        (slot = RegisterMapping(data.get(), data.get() + reserved)) < 0) {
        data.reset();
        capacity = 0;
        return false;
    }
    ::madvise(region, size_t(size), MADV_WILLNEED);
    fd = reader.TakeDescriptor();
    return true;
}

bool CCutDataFile::Image::Changed() const
{
    if (!fromFile)
        return false;
    if (Lost())
        return true;
    if (fd < 0)
        return false; // read into memory of its own: what it shows stays as it was read
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0)
        return true;
    return !(FileVersion::Of(info) == version) || info.st_ctim.tv_sec != changed.tv_sec ||
           info.st_ctim.tv_nsec != changed.tv_nsec;
}

bool CCutDataFile::Changed() const
{
    return m_image && m_image->Changed();
}

QString CCutDataFile::GetDisplayName() const
{
    return Changed() ? m_displayName + LoadString(Str::ChangedSuffix) : m_displayName;
}

CFileResult CCutDataFile::Load(const QByteArray& path)
{
    m_path = path;
    const QString shown = QFile::decodeName(path);
    CFileReader reader;
    if (const int error = reader.Open(path); error != 0) {
        m_image.reset();
        m_displayName = shown + LoadString(Str::ErrorSuffix);
        return CFileResult::Failed(CFileResult::Failure::Open, shown, error);
    }
    m_displayName = FileNamePart(path);
    const FileVersion version = FileVersion::Of(reader.GetInfo());
    std::shared_ptr<Image> image = Cache().Find(path, version);
    int error = 0;
    if (!image) {
        // The image held so far goes before the next is read, so that two never stand side by
        // side for one holder.
        m_image.reset();
        image = std::make_shared<Image>();
        image->fromFile = true;
        image->version = version;
        image->changed = reader.GetInfo().st_ctim;
        const int64_t length = version.size;
        if (image->Map(reader, length)) {
            image->StartIndex();
            image->IndexUpTo(length);
            image->FinishIndex(length);
            Cache().Keep(path, image);
            m_image = std::move(image);
            if (m_image->length == 0)
                m_displayName += LoadString(Str::NullSuffix);
            return {};
        }
        error = image->Reserve(length) ? 0 : ENOMEM;
        // Each piece is indexed while it is still in the processor's cache. The last byte read
        // waits for the next piece, as a CR there may be followed by an LF.
        constexpr int64_t Piece = 1 << 20;
        image->StartIndex();
        if (error == 0)
            image->data.get()[length] = '\0';
        for (int64_t done = 0; error == 0 && done < length;) {
            const int64_t piece = std::min(Piece, length - done);
            error = reader.ReadExactly(image->data.get() + done, piece);
            done += piece;
            if (error == 0)
                image->IndexUpTo(done == length ? done : done - 1);
        }
        if (error == 0) {
            image->FinishIndex(length);
            Cache().Keep(path, image);
        }
    }
    if (error != 0) {
        m_image.reset();
        m_displayName += LoadString(Str::ErrorSuffix);
        return CFileResult::Failed(CFileResult::Failure::Read, shown, error);
    }
    m_image = std::move(image);
    if (m_image->length == 0)
        m_displayName += LoadString(Str::NullSuffix);
    return {};
}

bool CCutDataFile::LoadFromMemory(const QByteArray& path, std::string_view data)
{
    m_path = path;
    m_displayName = FileNamePart(path);
    // The holder's own image of data is filled again in place; one it shares stays as it is.
    if (!m_image || m_image->fromFile || m_image.use_count() > 1)
        m_image = std::make_shared<Image>();
    Image& image = *m_image;
    if (!image.Reserve(int64_t(data.size()))) {
        m_image.reset();
        return false;
    }
    std::memcpy(image.data.get(), data.data(), data.size());
    image.data.get()[data.size()] = '\0';
    image.StartIndex();
    image.IndexUpTo(int64_t(data.size()));
    image.FinishIndex(int64_t(data.size()));
    if (data.empty())
        m_displayName += LoadString(Str::NullSuffix);
    return true;
}

void CCutDataFile::Image::StartIndex()
{
    indexed = 0;
    indexStopped = false;
    lineCount = 1;
    strideStarts.assign(1, 0);
}

void CCutDataFile::Image::FinishIndex(int64_t size)
{
    length = size;
    indexEnd = indexStopped ? indexEnd : size;
    if (size == 0) {
        lineCount = 0;
        strideStarts.clear();
    }
}

void CCutDataFile::Image::IndexUpTo(int64_t end)
{
    if (indexStopped || end <= indexed)
        return;
    const char* bytes = data.get();
    int64_t lines = lineCount;
    const auto record = [&](int64_t start) {
        if (lines % IndexStride == 0)
            strideStarts.push_back(start);
        ++lines;
    };

    // A line ends after every LF, and after every CR that no LF follows; the index ends at the
    // first NUL of the data, found in the same pass. The byte at end has been read (or is the
    // NUL after the data), so looking one byte ahead stays in the buffer.
    int64_t pos = indexed;
#ifdef __SSE2__
    for (; pos + 64 < end; pos += 64) {
        // The pages of a mapped file lie apart in memory, where the processor's own prefetch
        // does not follow; asking a few pages ahead keeps the loop from waiting on memory (it
        // more than halves the time of a file in the system's cache). A prefetch never faults,
        // past the end or on a page cut off.
        _mm_prefetch(bytes + pos + PrefetchDistance, _MM_HINT_T0);
        if (const uint64_t nul = ByteMask(bytes + pos, '\0')) {
            StopAt(pos + __builtin_ctzll(nul), end);
            break;
        }
        const uint64_t lf = ByteMask(bytes + pos, '\n');
        const uint64_t cr = ByteMask(bytes + pos, '\r');
        const uint64_t lfNext = (lf >> 1) | (uint64_t(bytes[pos + 64] == '\n') << 63);
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
        const char c = bytes[pos];
        if (c == '\0') {
            StopAt(pos, end);
            break;
        }
        if (c == '\n' || (c == '\r' && bytes[pos + 1] != '\n'))
            record(pos + 1);
    }
    lineCount = lines;
    indexed = end;
}

int64_t CCutDataFile::Image::NextLineStart(int64_t start) const
{
    const char* bytes = data.get();
    for (int64_t pos = start; pos < indexEnd; ++pos) {
        if (bytes[pos] == '\n')
            return pos + 1;
        if (bytes[pos] == '\r')
            return bytes[pos + 1] == '\n' ? pos + 2 : pos + 1;
    }
    return indexEnd;
}

int64_t CCutDataFile::Image::LineStart(int64_t index) const
{
    if (index < 0 || index >= lineCount)
        return -1;
    int64_t start = strideStarts[size_t(index / IndexStride)];
    for (int64_t skip = index % IndexStride; skip > 0; --skip)
        start = NextLineStart(start);
    return start;
}

int64_t CCutDataFile::Image::LineEnd(int64_t index, int64_t start) const
{
    // The last line runs to the end of the data, past a NUL that ended the index.
    return index + 1 < lineCount ? NextLineStart(start) : length;
}

int64_t CCutDataFile::LineStart(int64_t index) const
{
    return m_image ? m_image->LineStart(index) : -1;
}

int64_t CCutDataFile::LineLength(int64_t index) const
{
    const int64_t start = LineStart(index);
    return start < 0 ? -1 : m_image->LineEnd(index, start) - start;
}

std::string_view CCutDataFile::LineText(int64_t index) const
{
    const int64_t start = LineStart(index);
    if (start < 0)
        return {};
    return {m_image->data.get() + start, size_t(m_image->LineEnd(index, start) - start)};
}

bool CCutDataFile::IsNcCode() const
{
    return LineCount() > 0 && ::IsNcCode(m_image->data.get(), size_t(m_image->length));
}
