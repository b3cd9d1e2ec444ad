#pragma once

#include "CutDataFile.h"

#include <cstdint>
#include <memory>
#include <vector>

// The files of one test cut, in output-list order, with a cursor on one line of one file.
class CCutDataSet
{
public:
    // Loads the file and keeps it when the load succeeded.
    CFileResult AddFile(const QByteArray& path);

    int GetFileCount() const { return int(m_files.size()); }
    CCutDataFile& GetFile(int index) { return *m_files[size_t(index)]; }
    const CCutDataFile& GetFile(int index) const { return *m_files[size_t(index)]; }

    int GetFileIndex() const { return m_fileIndex; }
    int64_t GetLineIndex() const { return m_lineIndex; }
    void SetCursor(int fileIndex, int64_t lineIndex);
    // Moves the cursor to the next line, on to the first line of the next file after the last
    // line of a file. False once the last file has been run through; the cursor then stands at
    // the beginning again.
    bool Advance();

private:
    std::vector<std::unique_ptr<CCutDataFile>> m_files;
    int m_fileIndex = 0;
    int64_t m_lineIndex = 0;
};
