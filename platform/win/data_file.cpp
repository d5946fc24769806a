#include "platform/win/data_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

int OpenDataFile(const std::string& path, DataFileRead* verdict, unsigned long long* size)
{
    // O_NONBLOCK: opening a FIFO with no writer would otherwise wait for one
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    *verdict = DataFileRead::Missing;
    if (fd < 0)
        return -1;
    struct stat st;
    if (fstat(fd, &st) != 0) {
        close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        *verdict = DataFileRead::NotRegular;
        close(fd);
        return -1;
    }
    *verdict = DataFileRead::Ok;
    if (size)
        *size = static_cast<unsigned long long>(st.st_size);
    return fd;
}

DataFileRead ReadDataFile(const std::string& path, size_t maxBytes, std::string* bytes)
{
    bytes->clear();
    DataFileRead verdict;
    unsigned long long size = 0;
    const int fd = OpenDataFile(path, &verdict, &size);
    if (fd < 0)
        return verdict;
    if (size > maxBytes) {
        close(fd);
        return DataFileRead::TooLarge;
    }
    // the size may change while we read: read one byte past the bound to see it
    DataFileRead result = DataFileRead::Ok;
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            result = DataFileRead::Missing;
            break;
        }
        if (n == 0)
            break;
        if (bytes->size() + static_cast<size_t>(n) > maxBytes) {
            result = DataFileRead::TooLarge;
            break;
        }
        bytes->append(buf, static_cast<size_t>(n));
    }
    close(fd);
    if (result != DataFileRead::Ok)
        bytes->clear();
    return result;
}
