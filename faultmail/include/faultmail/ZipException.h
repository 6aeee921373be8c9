#pragma once
// Failures of the crash archive writer. As in the archive code this writer
// grew from, there are two kinds: the file system failed (CFileException,
// carrying errno) or the archive itself cannot be written (CZipException,
// carrying a cause number). Both derive from CException, so one handler at
// the top catches every failure of an archive run.

#include <stdexcept>
#include <string>

class CException : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class CFileException : public CException
{
public:
    // operation names what failed ("create", "write", ...); osError is errno.
    CFileException(int osError, const std::string& fileName, const std::string& operation);

    int m_lOsError;
    std::string m_strFileName;
};

class CZipException : public CException
{
public:
    enum Cause {
        generic = 1, // also: the archive would reach 4 GiB, which it cannot describe
        // zlib results
        streamEnd = 2,    // Z_STREAM_END where it is not expected
        needDict = 3,     // Z_NEED_DICT
        errNo = 4,        // Z_ERRNO
        streamError = 5,  // Z_STREAM_ERROR
        dataError = 6,    // Z_DATA_ERROR
        memError = 7,     // Z_MEM_ERROR
        bufError = 8,     // Z_BUF_ERROR
        versionError = 9, // Z_VERSION_ERROR
        // the archive's own errors
        badZipFile = 10,
        badCrc = 11,
        noCallback = 12,
        aborted = 13,
        nonRemovable = 14,
        tooManyVolumes = 15,
        tooLongFileName = 16, // name, extra field or comment over 65535 bytes
        cdirNotFound = 18,
    };

    CZipException(int cause, const std::string& fileName, const std::string& detail = std::string());

    // The cause for a zlib result code (any unknown code: generic).
    static int ZlibErrToZip(int zlibResult);

    int m_iCause;
    std::string m_szFileName;
};
