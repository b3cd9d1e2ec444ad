#include "CutDataSet.h"

CFileResult CCutDataSet::AddFile(const QByteArray& path)
{
    auto file = std::make_unique<CCutDataFile>();
    CFileResult result = file->Load(path);
    if (result.Ok())
        m_files.push_back(std::move(file));
    return result;
}

void CCutDataSet::SetCursor(int fileIndex, int64_t lineIndex)
{
    m_fileIndex = fileIndex;
    m_lineIndex = lineIndex;
}

bool CCutDataSet::Advance()
{
    ++m_lineIndex;
    if (m_fileIndex < GetFileCount() && m_lineIndex < m_files[size_t(m_fileIndex)]->LineCount())
        return true;
    m_lineIndex = 0;
    if (++m_fileIndex >= GetFileCount()) {
        m_fileIndex = 0;
        return false;
    }
    return true;
}
