#pragma once
// What the fuzz targets share: the fuzzer's bytes as a file the engine can open
// by name without touching the disk (an anonymous memory file reached through
// /proc/self/fd), and the entry points every target defines.
//
// Each target builds two ways: with libFuzzer (clang, fuzz/run.sh), and as a
// plain program that replays the files and folders named on its command line
// (replay.cpp; the sanitizer build of test.sh runs those over the corpus and
// fuzz/regressions/).

#include <QString>

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace fuzzing {

// An anonymous in-memory file holding a copy of the input; closed on destruction.
class MemoryFile {
public:
    MemoryFile(const std::uint8_t *data, std::size_t size)
        : m_fd(::memfd_create("fuzz-input", MFD_CLOEXEC))
    {
        std::size_t done = 0;
        while (m_fd >= 0 && done < size) {
            const ssize_t n = ::write(m_fd, data + done, size - done);
            if (n <= 0) {
                ::close(m_fd);
                m_fd = -1;
            } else {
                done += std::size_t(n);
            }
        }
    }
    ~MemoryFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    MemoryFile(const MemoryFile &) = delete;
    MemoryFile &operator=(const MemoryFile &) = delete;

    bool ok() const { return m_fd >= 0; }
    // A name that opens the file afresh (the engine opens by path).
    QString path() const { return QStringLiteral("/proc/self/fd/%1").arg(m_fd); }

private:
    int m_fd;
};

} // namespace fuzzing
