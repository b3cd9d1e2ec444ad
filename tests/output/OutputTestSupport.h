#pragma once

// Files for the output tests: written byte for byte into one temporary folder per test.

#include <QByteArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <string_view>

namespace zr40_test {

class TempFiles
{
public:
    // The path of name in the folder, as the bytes the output list keeps.
    QByteArray Path(std::string_view name) const
    {
        return m_dir.path().toLocal8Bit() + '/' + QByteArray(name.data(), qsizetype(name.size()));
    }
    QByteArray Write(std::string_view name, std::string_view content) const
    {
        const QByteArray path = Path(name);
        std::ofstream(path.constData(), std::ios::binary)
            .write(content.data(), std::streamsize(content.size()));
        return path;
    }
    static std::string Read(const QByteArray& path)
    {
        std::ifstream in(path.constData(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

private:
    QTemporaryDir m_dir;
};

} // namespace zr40_test
