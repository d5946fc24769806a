#pragma once
// Reading a data file that anyone may have put in the file's place. Only a
// regular file is read: a FIFO or a device (also through a link) is never
// waited on or drained, and no more than the given bound is read.
#include <cstddef>
#include <string>

enum class DataFileRead {
    Ok,
    Missing,    // no entry, or it cannot be opened or read
    NotRegular, // a FIFO, a device, a socket or a directory
    TooLarge,   // larger than the bound: nothing is returned
};

// Opens the file for reading when it is a regular file (never waiting on a
// FIFO), its size in *size; -1 with *verdict saying why not. For readers
// that take a part of a file only.
int OpenDataFile(const std::string& path, DataFileRead* verdict, unsigned long long* size = nullptr);

// Reads the whole file into *bytes (cleared first) when it is a regular file
// of at most maxBytes bytes.
DataFileRead ReadDataFile(const std::string& path, size_t maxBytes, std::string* bytes);
