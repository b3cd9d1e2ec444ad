// The output list with its list file and its settings-store form, and the cutting-data file in
// memory with its line index, NC-code test and capacity rule.

#include "CutDataFile.h"
#include "CutDataSet.h"
#include "FileErrorMessage.h"
#include "FileResultMessage.h"
#include "ModalAnswerer.h"
#include "OutputFileList.h"
#include "OutputTestSupport.h"
#include "WidgetTestApp.h"

#include <QMessageBox>
#include <QSettings>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <random>

using namespace zr40_test;

namespace {

const std::string Magic = "MILDEK_OUTPUT_FILE_LIST";
// Bytes that are not UTF-8 (a Latin-1 "ä" and a lone continuation byte).
const QByteArray Latin1Name = QByteArray("/data/m\xe4rz\x80.nc");

// Answers the next standard file message and keeps its text.
void AnswerFileMessage(ModalAnswerer& answerer, QString& text)
{
    answerer.Then([&text](QWidget* window) {
        auto* box = qobject_cast<QMessageBox*>(window);
        ASSERT_TRUE(box);
        text = box->text();
        box->accept();
    });
}

using Failure = CFileResult::Failure;

// Shows a failure as the dialogs do (the test answers their message boxes) and gives what
// failed.
Failure Shown(const CFileResult& result)
{
    ReportFileResult(nullptr, result);
    return result.failure;
}

class OutputListTest : public ::testing::Test
{
protected:
    void SetUp() override { UseEmptyStore("output-data-test"); }

    TempFiles m_files;
    ModalAnswerer m_answerer;
};

TEST_F(OutputListTest, ListFileIsWrittenByteForByteAndReadBackUnchanged)
{
    COutputFileList list;
    const QByteArray empty = m_files.Path("empty.ofl");
    ASSERT_TRUE(list.WriteListFile(empty).Ok());
    EXPECT_EQ(TempFiles::Read(empty), Magic + "\r\n");

    for (const QByteArray& entry : {QByteArray("/a/one.nc"), Latin1Name, QByteArray("x y")})
        list.Append(entry);
    const QByteArray path = m_files.Path("three.ofl");
    ASSERT_TRUE(list.WriteListFile(path).Ok());
    EXPECT_EQ(TempFiles::Read(path),
              Magic + "\r\n/a/one.nc\r\n" + Latin1Name.toStdString() + "\r\nx y\r\n");
    COutputFileList back;
    EXPECT_EQ(Shown(back.ReadListFile(path)), Failure::None);
    EXPECT_EQ(back.GetEntries(), list.GetEntries());
}

TEST_F(OutputListTest, ListFileLinesEndAtLfOrCrLfAndKeepBlankLines)
{
    struct Row
    {
        std::string content;
        QList<QByteArray> entries;
    };
    const Row rows[] = {
        {Magic + "\n/a\n/b\n", {"/a", "/b"}},
        {Magic + "\r\n/a\r\n/b", {"/a", "/b"}},
        {Magic + "\r\n/a\r\n\r\n/b\r\n", {"/a", "", "/b"}},
        {Magic + "\r\n /a\r\r\n", {" /a\r"}},
        {Magic, {}},
    };
    for (const Row& row : rows) {
        COutputFileList list;
        list.Append("old");
        EXPECT_EQ(Shown(list.ReadListFile(m_files.Write("l.ofl", row.content))), Failure::None);
        EXPECT_EQ(list.GetEntries(), row.entries) << row.content;
    }
}

TEST_F(OutputListTest, ViewingAFileWithoutTheMagicKeepsTheListAndSaysBadFormat)
{
    QString text;
    AnswerFileMessage(m_answerer, text);
    COutputFileList list;
    list.Append("old");
    const QByteArray path = m_files.Write("lower.ofl", "mildek_output_file_list\r\n/a\r\n");
    EXPECT_EQ(Shown(list.ReadListFile(path)), Failure::BadFormat);
    EXPECT_EQ(list.GetEntries(), QList<QByteArray>{"old"});
    EXPECT_EQ(text, QString::fromLocal8Bit(path) + " has a bad format.");

    // A missing list file: the not-found alarm, the list unchanged.
    m_answerer.AnswerBox(1);
    EXPECT_EQ(Shown(list.ReadListFile(m_files.Path("none.ofl"))), Failure::NotFound);
    ASSERT_EQ(m_answerer.Count(), 1);
    EXPECT_EQ(m_answerer.Seen()[0].text,
              QString::fromLocal8Bit(m_files.Path("none.ofl")) + " was not found.\n(Error : 012)");
    EXPECT_EQ(list.GetEntries(), QList<QByteArray>{"old"});
}

TEST_F(OutputListTest, MergeAddsAListFilesEntriesAndAnyOtherFileItself)
{
    const QByteArray listFile = m_files.Write("in.ofl", Magic + "\r\n/x\r\n/y\r\n");
    const QByteArray lowerMagic = m_files.Write("lower.ofl", "mildek_output_file_list\r\n/x\r\n");
    const QByteArray ncFile = m_files.Write("a.nc", "%\r\nG0X1\r\n");
    const QByteArray emptyFile = m_files.Write("e.nc", "");
    const QByteArray missing = m_files.Path("gone.nc");
    m_answerer.AnswerBox(1); // the not-found alarm of the missing file

    // The magic alone, without a line end, is a list file without entries; with LF only it
    // is one too; the magic followed by more on its line is none.
    const QByteArray bare = m_files.Write("bare.ofl", Magic);
    const QByteArray lf = m_files.Write("lf.ofl", Magic + "\n/z");
    const QByteArray longer = m_files.Write("longer.ofl", Magic + "X\r\n/w\r\n");

    COutputFileList list;
    for (const QByteArray& path :
         {listFile, lowerMagic, ncFile, emptyFile, missing, ncFile, bare, lf, longer})
        Shown(list.MergeFile(path));
    EXPECT_EQ(list.GetEntries(), (QList<QByteArray>{"/x", "/y", lowerMagic, ncFile, emptyFile,
                                                    missing, ncFile, "/z", longer}));
    EXPECT_EQ(m_answerer.Count(), 1);
}

namespace {
// A line of /proc/self/status in kB ("VmRSS", "VmHWM"), -1 when absent.
long StatusKb(const std::string& name)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(name + ":", 0) == 0)
            return std::stol(line.substr(name.size() + 1));
    return -1;
}
} // namespace

// Adding a large cutting-data file reads only its first line: the peak memory hardly grows.
TEST_F(OutputListTest, MergingALargeFileReadsOnlyItsFirstLine)
{
    const QByteArray path = m_files.Path("large.nc");
    const std::string block(1 << 20, 'G');
    constexpr int Blocks = 96;
    {
        std::ofstream out(path.constData(), std::ios::binary);
        out << "%\n";
        for (int i = 0; i < Blocks; ++i)
            out << block << '\n';
    }
    // The peak is reset, so that what earlier tests used does not hide the growth.
    if (!std::ofstream("/proc/self/clear_refs").write("5", 1))
        GTEST_SKIP() << "the peak memory cannot be reset here";
    const long before = StatusKb("VmRSS");
    COutputFileList list;
    Shown(list.MergeFile(path));
    const long peak = StatusKb("VmHWM");
    EXPECT_EQ(list.GetEntries(), QList<QByteArray>{path});
    ASSERT_GT(before, 0);
    EXPECT_LT(peak - before, long(Blocks) * 1024 / 4) << "read more than its first line";
}

TEST_F(OutputListTest, StoreReadsUpToFileCountSkippingEmptyValues)
{
    StoreList({"/a", "", "/c"});
    Store().setValue("OutputFiles/File5", "/f");
    COutputFileList list;
    list.LoadFromStore();
    EXPECT_EQ(list.GetEntries(), (QList<QByteArray>{"/a", "/c"}));

    // Bytes that are not UTF-8 come back unchanged; the value past the new count stays but is
    // not read.
    list.Clear();
    list.Append(Latin1Name);
    list.SaveToStore();
    COutputFileList back;
    back.LoadFromStore();
    EXPECT_EQ(back.GetEntries(), QList<QByteArray>{Latin1Name});
    QSettings store = Store();
    EXPECT_EQ(store.value("OutputFiles/FileCount").toInt(), 1);
    EXPECT_EQ(store.value("OutputFiles/File2").toString(), "/c");
}

// Damaged values in the store: only the entries there are load, in the order of their numbers,
// however large or small the count claims to be.
TEST_F(OutputListTest, DamagedFileCountLoadsOnlyTheEntriesPresent)
{
    const struct
    {
        QVariant count;
        QList<QByteArray> expected;
    } cases[] = {
        {-1, {}},
        {QString("many"), {}},
        {10'000'000, {"/a", "/b", "/far"}},
        {3, {"/a", "/b"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count.toString().toStdString());
        Store().clear();
        StoreList({"/a", "/b"});
        QSettings store = Store();
        store.setValue("OutputFiles/File9000", "/far");
        store.setValue("OutputFiles/File+1", "/plus");
        store.setValue("OutputFiles/File01", "/zero-one");
        store.setValue("OutputFiles/FileCount", c.count);
        store.sync();
        COutputFileList list;
        list.LoadFromStore();
        EXPECT_EQ(list.GetEntries(), c.expected);
    }
}

// List files that are not what they claim: the standard message names the file, and the list
// stays as it was; a list file with a huge line or of hundreds of megabytes loads whole.
TEST_F(OutputListTest, BadListFilesKeepTheListWithAMessageAndLargeOnesLoadWhole)
{
    const QByteArray garbage = m_files.Write("garbage.ofl", std::string("\x7f\0\xff\xfe\r\n/a", 8));
    const QByteArray latin1 = m_files.Write("m\xe4rz\x80.ofl", "no magic here\n");
    const QByteArray folder = m_files.Path("folder.ofl");
    ASSERT_EQ(::mkdir(folder.constData(), 0700), 0);
    const QByteArray sparse = m_files.Write("sparse.ofl", "");
    ASSERT_EQ(::truncate(sparse.constData(), 200 << 20), 0);
    const struct
    {
        const char* name;
        QByteArray path;
        Failure result;
        QString message;
    } bad[] = {
        {"binary garbage", garbage, Failure::BadFormat,
         QString::fromLocal8Bit(garbage) + " has a bad format."},
        {"path not UTF-8", latin1, Failure::BadFormat,
         COutputFileList::DisplayText(latin1) + " has a bad format."},
        {"folder", folder, Failure::Open,
         FormatFileError(EISDIR, QString::fromLocal8Bit(folder), FileOperation::Open)},
        {"200 MB of NULs", sparse, Failure::BadFormat,
         QString::fromLocal8Bit(sparse) + " has a bad format."},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.name);
        QString text;
        AnswerFileMessage(m_answerer, text);
        COutputFileList list;
        list.Append("old");
        EXPECT_EQ(Shown(list.ReadListFile(c.path)), c.result);
        EXPECT_EQ(text, c.message);
        EXPECT_EQ(list.GetEntries(), QList<QByteArray>{"old"});
    }

    const std::string longLine(10 << 20, 'x');
    const QByteArray huge = m_files.Write("long.ofl", Magic + "\r\n" + longLine + "\r\n/b\r\n");
    const QByteArray bigList = m_files.Write("big.ofl", Magic + "\r\n/a\r\n");
    ASSERT_EQ(::truncate(bigList.constData(), 200 << 20), 0);
    COutputFileList list;
    ASSERT_EQ(Shown(list.ReadListFile(huge)), Failure::None);
    EXPECT_EQ(list.GetEntries(), (QList<QByteArray>{QByteArray::fromStdString(longLine), "/b"}));
    ASSERT_EQ(Shown(list.ReadListFile(bigList)), Failure::None);
    ASSERT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.GetEntry(0), "/a");
    EXPECT_EQ(list.GetEntry(1).size(), (200 << 20) - qsizetype(Magic.size()) - 6);
    EXPECT_EQ(m_answerer.Shown(), int(std::size(bad)));
    // The temporary folder cannot remove a name that is not in the locale's encoding.
    ::unlink(latin1.constData());
}

// --- the cutting-data file --------------------------------------------------------------------

std::vector<int64_t> LineStarts(const CCutDataFile& file)
{
    std::vector<int64_t> starts;
    for (int64_t i = 0; i < file.LineCount(); ++i)
        starts.push_back(file.LineStart(i));
    return starts;
}

TEST(CutDataFile, LinesStartAfterCrLfLoneCrAndLoneLfUpToTheFirstNul)
{
    struct Row
    {
        std::string data;
        std::vector<int64_t> starts;
    };
    const Row rows[] = {
        {"G0X1\r\nG1\r\n", {0, 6, 10}},
        {"\r\r\n\n", {0, 1, 3, 4}},
        {"G0\nG1\0\nG2\n", {0, 3}},
        {"G0", {0}},
        {"", {}},
    };
    for (const Row& row : rows) {
        CCutDataFile file;
        ASSERT_TRUE(file.LoadFromMemory("/d/f.nc", row.data));
        EXPECT_EQ(LineStarts(file), row.starts) << row.data;
    }

    CCutDataFile file;
    file.LoadFromMemory("/d/f.nc", std::string_view("G0\nG1\0\nG2\n", 10));
    EXPECT_EQ(file.LineText(1), std::string_view("G1\0\nG2\n", 7)); // runs to the end of the data
    EXPECT_EQ(file.LineLength(2), -1);
    EXPECT_EQ(file.LineText(2), "");
}

// The index keeps every 64th start and scans the vectorised path 64 bytes at a time: random
// texts of every terminator mix must give exactly the starts of a plain byte-by-byte scan. Every
// other text holds a NUL somewhere, where the index must stop in the same pass.
TEST(CutDataFile, IndexAgreesWithAPlainScanOnRandomText)
{
    std::mt19937 random(12);
    const char alphabet[] = {'G', '1', ' ', '\r', '\n', '\n', '\r'};
    for (int round = 0; round < 20; ++round) {
        std::string data(size_t(random() % 20000), 'x');
        for (char& c : data)
            c = alphabet[random() % sizeof alphabet];
        size_t indexed = data.size();
        if (round % 2 == 1 && !data.empty()) {
            indexed = size_t(random() % data.size());
            data[indexed] = '\0';
        }
        std::vector<int64_t> expected{0};
        for (size_t i = 0; i < indexed; ++i)
            if (data[i] == '\n' ||
                (data[i] == '\r' && (i + 1 == data.size() || data[i + 1] != '\n')))
                expected.push_back(int64_t(i + 1));
        if (data.empty())
            expected.clear();
        CCutDataFile file;
        file.LoadFromMemory("/r.nc", data);
        ASSERT_EQ(LineStarts(file), expected) << round;
        for (int64_t i = 0; i + 1 < file.LineCount(); i += 97)
            EXPECT_EQ(file.LineLength(i), expected[size_t(i + 1)] - expected[size_t(i)]);
    }
}

TEST(CutDataFile, NcCodeIsDecidedByTheFirstLineWithContent)
{
    const std::pair<std::string, bool> rows[] = {
        {"\r\n\n%\nG0\n", true}, {"(part)\n", true},  {"G0X1\n", false},
        {";x\n%\n", false},      {"\r\n\n\r", false}, {"", false},
    };
    for (const auto& [data, nc] : rows) {
        CCutDataFile file;
        file.LoadFromMemory("/n.nc", data);
        EXPECT_EQ(file.IsNcCode(), nc) << data;
    }
}

TEST(CutDataFile, CapacityIsTheNextMultipleOf4096AndIsReused)
{
    for (const auto& [length, capacity] : {std::pair<int64_t, int64_t>{0, 4096},
                                           {4095, 4096},
                                           {4096, 8192},
                                           {int64_t(3) << 30, (int64_t(3) << 30) + 4096}})
        EXPECT_EQ(CCutDataFile::CapacityFor(length), capacity) << length;

    CCutDataFile file;
    file.LoadFromMemory("/a", std::string(5000, 'x'));
    EXPECT_EQ(file.GetCapacity(), 8192);
    file.LoadFromMemory("/b", "short");
    EXPECT_EQ(file.GetCapacity(), 8192);
}

TEST_F(OutputListTest, LoadGivesDisplayNamesForEmptyAndUnreadableFiles)
{
    CCutDataFile file;
    ASSERT_EQ(Shown(file.Load(m_files.Write("empty.nc", ""))), Failure::None);
    EXPECT_EQ(file.GetDisplayName(), "empty.nc [null]");
    EXPECT_EQ(file.LineCount(), 0);

    QString text;
    AnswerFileMessage(m_answerer, text);
    const QByteArray missing = m_files.Path("gone.nc");
    EXPECT_EQ(Shown(file.Load(missing)), Failure::Open);
    EXPECT_EQ(file.GetDisplayName(), QString::fromLocal8Bit(missing) + " [error]");
    EXPECT_EQ(text, QString::fromLocal8Bit(missing) + " was not found.");

    CCutDataSet set;
    EXPECT_EQ(Shown(set.AddFile(m_files.Write("a.nc", "G0\nG1"))), Failure::None);
    AnswerFileMessage(m_answerer, text);
    EXPECT_EQ(Shown(set.AddFile(missing)), Failure::Open);
    EXPECT_EQ(Shown(set.AddFile(m_files.Write("b.nc", "G2"))), Failure::None);
    EXPECT_EQ(set.GetFileCount(), 2);
    std::vector<std::pair<int, int64_t>> visited{{0, 0}};
    while (set.Advance())
        visited.emplace_back(set.GetFileIndex(), set.GetLineIndex());
    EXPECT_EQ(visited, (std::vector<std::pair<int, int64_t>>{{0, 0}, {0, 1}, {1, 0}}));
    EXPECT_EQ(set.GetFileIndex(), 0);
}

// One image per file: the holders of a file whose size and modification time are unchanged
// share one image (the preview, the toolpath window and the test cut's set alike); a changed
// file gets an image of its own, the earlier holders keep theirs, and each image goes with its
// last holder.
TEST_F(OutputListTest, HoldersOfAnUnchangedFileShareOneImageThatGoesWithItsLastHolder)
{
    const int64_t before = CCutDataFile::ImageCount();
    const QByteArray a = m_files.Write("a.nc", "%\nG0X1\n");
    const QByteArray b = m_files.Write("b.nc", "%\nG0X1\n");
    const auto start = [](const CCutDataFile& file) { return file.LineText(0).data(); };
    auto preview = std::make_unique<CCutDataFile>();
    auto toolpath = std::make_unique<CCutDataFile>();
    CCutDataFile other;
    ASSERT_TRUE(preview->Load(a).Ok());
    EXPECT_FALSE(preview->IsShared());
    ASSERT_TRUE(toolpath->Load(a).Ok());
    ASSERT_TRUE(other.Load(b).Ok());
    CCutDataSet set;
    ASSERT_TRUE(set.AddFile(a).Ok());
    EXPECT_EQ(start(*toolpath), start(*preview));
    EXPECT_EQ(start(set.GetFile(0)), start(*preview));
    EXPECT_TRUE(preview->IsShared());
    EXPECT_NE(start(other), start(*preview));
    EXPECT_EQ(CCutDataFile::ImageCount(), before + 2);

    // A new modification time: a new image for the next holder, the old one for the others.
    struct stat info
    {
    };
    ASSERT_EQ(::stat(a.constData(), &info), 0);
    const timespec later[2] = {info.st_atim, {info.st_mtim.tv_sec + 1, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, a.constData(), later, 0), 0);
    CCutDataFile fresh;
    ASSERT_TRUE(fresh.Load(a).Ok());
    EXPECT_NE(start(fresh), start(*preview));
    EXPECT_EQ(CCutDataFile::ImageCount(), before + 3);

    // The old image goes with its last holder, not before.
    preview->Release();
    toolpath.reset();
    EXPECT_EQ(CCutDataFile::ImageCount(), before + 3);
    EXPECT_EQ(set.GetFile(0).LineText(1), "G0X1\n");
    set = CCutDataSet();
    EXPECT_EQ(CCutDataFile::ImageCount(), before + 2);
    // Loading the same file again into the holder of the current image keeps it.
    const char* kept = start(fresh);
    ASSERT_TRUE(fresh.Load(a).Ok());
    EXPECT_EQ(start(fresh), kept);
    fresh.Release();
    other.Release();
    EXPECT_EQ(CCutDataFile::ImageCount(), before);
}

// Another program changes a file while its image is held: cut short (the mapped pages past the
// new end raise a bus error, which the image turns into NUL bytes), rewritten in place with
// the same size and modification time, deleted, or replaced under its name. Reading every line
// of the image never stops the program, each change is told by Changed(), the image's bytes
// stay those of the old file where the change does not reach them, and the next Load shows the
// file as it now is.
TEST_F(OutputListTest, FileChangedUnderItsImageNeverStopsTheProgramAndIsTold)
{
    std::string program = "%\n";
    while (program.size() < 5 * 4096)
        program += "G1 X" + std::to_string(program.size()) + " Y2\n";
    const std::string other(program.size(), '\n');
    const auto truncateTo = [](int64_t size) {
        return [size](const QByteArray& path) { ASSERT_EQ(::truncate(path.constData(), size), 0); };
    };
    const struct
    {
        const char* name;
        std::function<void(const QByteArray&)> change;
        // Whether the image still holds the old bytes.
        bool intact;
        // What a new Load finds: the lines, or -1 when the file is gone.
        int64_t linesAfter;
    } rows[] = {
        {"truncated to nothing", truncateTo(0), false, 0},
        {"cut short in its third page", truncateTo(2 * 4096 + 100), false, -2},
        {"rewritten, size and time kept",
         [&](const QByteArray& path) {
             struct stat info
             {
             };
             ASSERT_EQ(::stat(path.constData(), &info), 0);
             m_files.Write("f.nc", other);
             const timespec times[2] = {info.st_atim, info.st_mtim};
             ASSERT_EQ(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);
         },
         false, int64_t(other.size()) + 1},
        {"deleted", [](const QByteArray& path) { ASSERT_EQ(::unlink(path.constData()), 0); }, true,
         -1},
        {"replaced under its name",
         [&](const QByteArray& path) {
             const QByteArray next = m_files.Write("next.nc", "%\nG0\n");
             ASSERT_EQ(::rename(next.constData(), path.constData()), 0);
         },
         true, 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QByteArray path = m_files.Write("f.nc", program);
        CCutDataFile image;
        ASSERT_TRUE(image.Load(path).Ok());
        const int64_t lines = image.LineCount();
        EXPECT_FALSE(image.Changed());
        row.change(path);
        std::string seen;
        for (int64_t i = 0; i < lines; ++i)
            seen += image.LineText(i);
        EXPECT_TRUE(image.Changed());
        EXPECT_EQ(image.GetDisplayName(), "f.nc [changed]");
        EXPECT_EQ(image.LineCount(), lines);
        if (row.intact) {
            EXPECT_EQ(seen, program);
        }
        if (row.linesAfter == -2) {
            EXPECT_EQ(seen.substr(0, 2 * 4096 + 100), program.substr(0, 2 * 4096 + 100));
        }

        CCutDataFile again;
        const CFileResult result = again.Load(path);
        if (row.linesAfter == -1) {
            EXPECT_EQ(result.failure, Failure::Open);
            continue;
        }
        ASSERT_TRUE(result.Ok());
        EXPECT_FALSE(again.IsShared());
        EXPECT_FALSE(again.Changed());
        if (row.linesAfter >= 0) {
            EXPECT_EQ(again.LineCount(), row.linesAfter);
        } else {
            EXPECT_EQ(again.GetLength(), 2 * 4096 + 100);
        }
    }
}

// A file past 2 GiB: its length and the last line's length need 64 bits. The file is sparse
// (a hole of NULs after two lines), so it costs no disk; loading it needs the memory.
TEST_F(OutputListTest, FileOverTwoGibibytesIsIndexedWith64BitOffsets)
{
    const int64_t size = (int64_t(1) << 31) + 4096 * 3 + 5;
    const QByteArray path = m_files.Write("big.nc", "G0\nG1\n");
    if (::truncate(path.constData(), size) != 0)
        GTEST_SKIP() << "the file system cannot hold a sparse file of " << size << " bytes";
    if (sysconf(_SC_AVPHYS_PAGES) * sysconf(_SC_PAGESIZE) < 2 * size)
        GTEST_SKIP() << "not enough free memory to load " << size << " bytes";
    CCutDataFile file;
    ASSERT_EQ(Shown(file.Load(path)), Failure::None);
    EXPECT_EQ(file.GetLength(), size);
    EXPECT_EQ(file.GetCapacity(), CCutDataFile::CapacityFor(size));
    EXPECT_EQ(LineStarts(file), (std::vector<int64_t>{0, 3, 6}));
    EXPECT_EQ(file.LineLength(2), size - 6);
}

} // namespace
